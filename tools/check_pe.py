#!/usr/bin/python3
"""Checks a Windows executable: a 32-bit GUI program that Windows XP loads,
importing only system DLLs and XP-era functions, whose resources are the seven
background pictures and our manifest and nothing else, and whose code runs on
processors without SSE; or, with --console, the terminal program: the same,
but a console program whose one resource is the manifest.

Usage: check_pe.py [-v] [--console] [--imports LIST] koru-bench.exe
  -v        also lists every import
  --console checks a console program without pictures (koru-bench-cli.exe)
  --imports the reviewed imports ("dll function" a line, # comments): any
            import not in it, or listed but gone, fails the check
Exits 0 when every check passes. Standard library only, plus the cross
toolchain's objdump (i686-w64-mingw32-objdump) to read the code.
"""
import collections
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

I386 = 0x14C
PE32 = 0x10B
GUI = 2
CONSOLE = 3
XP = (5, 1)

RT_BITMAP = 2
RT_MANIFEST = 24
LANG_EN_US = 0x0409
PICTURES = ["BG_BMP"] + [f"BG{i}_BMP" for i in range(6)]
PICTURE_W, PICTURE_H, PICTURE_BPP = 640, 480, 24
PICTURE_BYTES = 40 + PICTURE_H * ((PICTURE_W * PICTURE_BPP // 8 + 3) & ~3)
MAX_OVERHEAD = 0.10

# DLLs every Windows XP installation has; the program must need nothing else.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll",
    "ntdll.dll", "shell32.dll", "shlwapi.dll", "ole32.dll", "oleaut32.dll",
    "comctl32.dll", "comdlg32.dll", "winmm.dll", "version.dll", "imm32.dll",
    "ws2_32.dll", "wsock32.dll", "rpcrt4.dll", "psapi.dll", "winspool.drv",
}

# Functions of those DLLs that XP lacks (Vista, or Server 2003 / XP x64 only):
# an import of any of them stops the loader before main() runs. Names ending
# in '*' cover the A/W/Ex variants.
NOT_ON_XP = [
    # time
    "GetTickCount64", "GetSystemTimePreciseAsFileTime", "QueryUnbiasedInterruptTime",
    # slim locks, condition variables, one-time init
    "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared",
    "TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared",
    "InitializeConditionVariable", "SleepConditionVariableCS",
    "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable",
    "InitOnceInitialize", "InitOnceExecuteOnce", "InitOnceBeginInitialize",
    "InitOnceComplete",
    # synchronisation objects
    "CreateEventEx*", "CreateMutexEx*", "CreateSemaphoreEx*", "CreateWaitableTimerEx*",
    "InitializeCriticalSectionEx", "WaitOnAddress", "WakeByAddressSingle",
    "WakeByAddressAll",
    # fiber-local storage: Server 2003 and Vista, never 32-bit XP
    "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue",
    # threads and processes
    "SetThreadStackGuarantee", "GetCurrentProcessorNumber*", "GetThreadId",
    "GetProcessId", "GetProcessIdOfThread", "QueryFullProcessImageName*",
    "CreateThreadpool*", "SetThreadpool*", "CloseThreadpool*", "SubmitThreadpoolWork",
    "WaitForThreadpool*", "TrySubmitThreadpoolCallback", "GetThreadGroupAffinity",
    "SetThreadGroupAffinity", "GetActiveProcessorCount", "GetLogicalProcessorInformationEx",
    "GetErrorMode", "SetThreadErrorMode", "GetThreadErrorMode",
    "IsWow64Process2", "GetSystemWow64Directory2*",
    # files
    "CreateSymbolicLink*", "GetFinalPathNameByHandle*", "CancelIoEx",
    "CancelSynchronousIo", "SetFileInformationByHandle", "GetFileInformationByHandleEx",
    "OpenFileById", "CreateFile2", "CopyFile2", "GetQueuedCompletionStatusEx",
    "SetFileCompletionNotificationModes", "FindFirstFileNameW",
    # locales by name
    "LCIDToLocaleName", "LocaleNameToLCID", "GetLocaleInfoEx", "CompareStringEx",
    "CompareStringOrdinal", "LCMapStringEx", "GetUserDefaultLocaleName",
    "GetSystemDefaultLocaleName", "EnumSystemLocalesEx", "GetDateFormatEx",
    "GetTimeFormatEx", "GetNumberFormatEx", "GetCurrencyFormatEx",
    "ResolveLocaleName", "IsValidLocaleName", "GetThreadPreferredUILanguages",
    "GetUserPreferredUILanguages", "GetSystemPreferredUILanguages",
    "GetFileMUIPath", "GetDynamicTimeZoneInformation",
    # security, debugging
    "RegGetValue*", "RegDeleteKeyEx*", "RegSetKeyValue*", "RegDeleteTree*",
    "RegCopyTree*", "RegLoadMUIString*", "AddVectoredContinueHandler",
    "RemoveVectoredContinueHandler", "RaiseFailFastException",
    "RtlCaptureStackBackTrace",  # exported by kernel32 from XP x64 only
    # windows
    "SetProcessDPIAware", "IsProcessDPIAware", "SetProcessDpiAwarenessContext",
    "GetDpiForWindow", "ChangeWindowMessageFilter*", "AddClipboardFormatListener",
    "RemoveClipboardFormatListener", "ShutdownBlockReasonCreate",
    "RegisterPowerSettingNotification", "GetWindowDisplayAffinity",
    "SetWindowDisplayAffinity",
]


# What a processor without SSE (Pentium II, and Pentium III or Athlon XP for
# SSE2) cannot run: any instruction on the MMX or SSE registers, and the few
# SSE instructions that name none.
SSE_REGISTER = re.compile(r"%[xyz]?mm[0-9]")
SSE_WITHOUT_REGISTERS = {
    "ldmxcsr", "stmxcsr", "sfence", "lfence", "mfence", "clflush", "movnti",
    "prefetchnta", "prefetcht0", "prefetcht1", "prefetcht2", "prefetch", "prefetchw", "femms",
}
OBJDUMPS = ["i686-w64-mingw32-objdump", "objdump"]


def sse_instructions(data):
    """{mnemonic: count} of the SSE and MMX instructions in the code, or a
    string saying why the code could not be read."""
    objdump = next((path for path in map(shutil.which, OBJDUMPS) if path), None)
    if objdump is None:
        return "no disassembler (%s)" % " or ".join(OBJDUMPS)
    with tempfile.NamedTemporaryFile(suffix=".exe") as image:
        image.write(data)
        image.flush()
        run = subprocess.run([objdump, "-d", "--no-show-raw-insn", image.name],
                             capture_output=True, text=True)
    if run.returncode != 0:
        return "%s failed: %s" % (os.path.basename(objdump), run.stderr.strip())
    found = collections.Counter()
    for line in run.stdout.splitlines():
        address, _, text = line.partition(":\t")
        if not text or not address.strip():
            continue
        mnemonic = text.split(None, 1)[0]
        if SSE_REGISTER.search(text) or mnemonic in SSE_WITHOUT_REGISTERS:
            found[mnemonic] += 1
    return found


def read_import_list(text):
    """{(dll in lower case, function), ...} from the reviewed list's text."""
    entries = set()
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        if line:
            dll, function = line.split()
            entries.add((dll.lower(), function))
    return entries


def not_on_xp(dll, name):
    # XP's msvcrt.dll predates the secure ('_s') CRT functions.
    if dll.lower() == "msvcrt.dll" and name.endswith("_s"):
        return True
    return any(name.startswith(entry[:-1]) if entry.endswith("*") else name == entry
               for entry in NOT_ON_XP)


class PEError(Exception):
    pass


class PE:
    """The parts of a PE32 image the checks need."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ header")
        pe_at = self.u32(0x3C)
        if data[pe_at:pe_at + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        (self.machine, n_sections, _, _, _, opt_size, _) = \
            struct.unpack_from("<HHIIIHH", data, pe_at + 4)
        opt = pe_at + 24
        self.magic = self.u16(opt)
        self.sections = []
        for i in range(n_sections):
            name, vsize, va, raw_size, raw_at = struct.unpack_from(
                "<8sIIII", data, opt + opt_size + 40 * i)
            flags = self.u32(opt + opt_size + 40 * i + 36)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"),
                                  va, vsize, raw_at, raw_size, flags))
        if self.magic != PE32:
            return  # PE32+ lays out the rest differently; the magic check fails
        self.os_version = (self.u16(opt + 40), self.u16(opt + 42))
        self.subsystem_version = (self.u16(opt + 48), self.u16(opt + 50))
        self.subsystem = self.u16(opt + 68)
        n_dirs = self.u32(opt + 92)
        self.dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i)
                     for i in range(min(n_dirs, 16))]
        self.dirs += [(0, 0)] * (16 - len(self.dirs))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for _, va, vsize, raw_at, raw_size, _ in self.sections:
            if va <= rva < va + max(vsize, raw_size):
                if rva - va >= raw_size:
                    raise PEError(f"RVA {rva:#x} lies outside the file")
                return raw_at + rva - va
        raise PEError(f"RVA {rva:#x} is in no section")

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def imports(self):
        """[(dll, [function name or '#ordinal', ...]), ...]"""
        rva, size = self.dirs[1]
        result = []
        if not size:
            return result
        at = self.offset(rva)
        while True:
            lookup, _, _, name_rva, iat = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name_rva or iat):
                return result
            names = []
            thunk = self.offset(lookup or iat)
            while (entry := self.u32(thunk)):
                names.append(f"#{entry & 0xFFFF}" if entry & 0x80000000
                             else self.cstring(entry + 2))
                thunk += 4
            result.append((self.cstring(name_rva), names))
            at += 20

    def resources(self):
        """[(type, name, language, data), ...]; type and name are an int or a str."""
        rva, size = self.dirs[2]
        if not size:
            return []
        base = self.offset(rva)

        def key(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = self.u16(at)
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return entry_name

        def walk(dir_at, depth, path):
            if depth > 3:
                raise PEError("resource tree deeper than type/name/language")
            named, ids = struct.unpack_from("<HH", self.data, dir_at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, dir_at + 16 + 8 * i)
                here = path + (key(name),)
                if target & 0x80000000:
                    yield from walk(base + (target & 0x7FFFFFFF), depth + 1, here)
                else:
                    if len(here) != 3:
                        raise PEError(f"resource leaf at depth {len(here)}")
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    at = self.offset(data_rva)
                    yield here + (self.data[at:at + data_size],)

        return list(walk(base, 1, ()))


def _version(v):
    return f"{v[0]}.{v[1]}"


def _bitmap_problem(data):
    if len(data) < 40:
        return f"only {len(data)} bytes"
    size, w, h, planes, bpp, compression = struct.unpack_from("<IiiHHI", data)
    got = f"header {size}, {w}x{h}x{bpp}, compression {compression}, planes {planes}"
    if (size, w, h, planes, bpp, compression) != (40, PICTURE_W, PICTURE_H, 1, PICTURE_BPP, 0):
        return got
    if len(data) < PICTURE_BYTES:
        return f"{got}, {len(data)} bytes (pixels cut short)"
    return None


MANIFEST_PATHS = ["assembly", "assembly/trustInfo", "assembly/trustInfo/security",
                  "assembly/trustInfo/security/requestedPrivileges",
                  "assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel"]


def _manifest_problem(data):
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        return f"not XML ({e})"

    def local(tag):
        return tag.rsplit("}", 1)[-1]

    paths, level = [], None

    def walk(element, prefix):
        nonlocal level
        path = prefix + local(element.tag)
        paths.append(path)
        if path == MANIFEST_PATHS[-1]:
            level = {local(k): v for k, v in element.attrib.items()}
        for child in element:
            walk(child, path + "/")

    walk(root, "")
    if paths != MANIFEST_PATHS:
        return "elements " + ", ".join(paths)
    if level is None or level.get("level") != "asInvoker" or level.get("uiAccess") != "false":
        return f"requestedExecutionLevel {level}"
    return None


def check(data, verbose=False, out=print, reviewed_imports=None, console=False):
    """Runs every check on the image bytes (and, given the reviewed list, on
    the imports against it); returns [(ok, name, expected, got), ...]. A
    console program is held to the console subsystem and to the manifest as
    its one resource."""
    results = []

    def report(ok, name, expected, got):
        results.append((ok, name, expected, got))

    try:
        pe = PE(data)
    except (PEError, struct.error, ValueError) as e:
        report(False, "PE headers", "a PE image", str(e))
        return results

    report(pe.magic == PE32, "format", "PE32 (0x10b)", hex(pe.magic))
    report(pe.machine == I386, "machine", "i386 (0x14c)", hex(pe.machine))
    if pe.magic != PE32:
        return results
    if console:
        report(pe.subsystem == CONSOLE, "subsystem", "Windows console (3)", str(pe.subsystem))
    else:
        report(pe.subsystem == GUI, "subsystem", "Windows GUI (2)", str(pe.subsystem))
    report(pe.subsystem_version <= XP, "subsystem version",
           f"<= {_version(XP)}", _version(pe.subsystem_version))
    report(pe.os_version <= XP, "OS version", f"<= {_version(XP)}", _version(pe.os_version))

    try:
        imports = pe.imports()
        resources = pe.resources()
    except (PEError, struct.error, ValueError, UnicodeDecodeError) as e:
        report(False, "import and resource tables", "readable", str(e))
        return results

    foreign = [dll for dll, _ in imports if dll.lower() not in SYSTEM_DLLS]
    report(not foreign, "imported DLLs", "system DLLs only",
           ", ".join(foreign) if foreign else ", ".join(dll for dll, _ in imports))
    missing = [f"{dll}!{name}" for dll, names in imports for name in names
               if name.startswith("#") or not_on_xp(dll, name)]
    report(not missing, "imported functions", "all present on Windows XP",
           ", ".join(missing) if missing else
           f"{sum(len(names) for _, names in imports)} functions")
    if reviewed_imports is not None:
        imported = {(dll.lower(), name) for dll, names in imports for name in names}
        new = sorted(imported - reviewed_imports)
        gone = sorted(reviewed_imports - imported)
        report(not new and not gone, "imports as reviewed", "exactly the reviewed list",
               "; ".join(part for part in (
                   "new: " + ", ".join(f"{d}!{n}" for d, n in new) if new else "",
                   "gone: " + ", ".join(f"{d}!{n}" for d, n in gone) if gone else "") if part)
               or f"{len(imported)} as listed")
    report(pe.dirs[13][1] == 0, "delay-loaded imports", "none",
           f"{pe.dirs[13][1]} bytes of descriptors" if pe.dirs[13][1] else "none")
    if pe.machine == I386:  # another machine's code has failed already
        sse = sse_instructions(data)
        report(sse == {}, "processor instructions", "no SSE or MMX instruction",
               sse if isinstance(sse, str) else
               ", ".join(f"{name} x{count}" for name, count in sorted(sse.items())) or "none")
    if verbose:
        for name, va, vsize, _, raw_size, _ in pe.sections:
            out(f"  section {name:8} RVA {va:#08x}, {raw_size} bytes in the file")
        for dll, names in imports:
            out(f"  import {dll}: {' '.join(names)}")

    types = sorted({str(t) for t, _, _, _ in resources})
    if console:
        report(types == [str(RT_MANIFEST)], "resource types", f"{RT_MANIFEST} (manifest)",
               ", ".join(types) or "none")
    else:
        report(types == [str(RT_BITMAP), str(RT_MANIFEST)], "resource types",
               f"{RT_BITMAP} (bitmap), {RT_MANIFEST} (manifest)", ", ".join(types) or "none")
        _check_pictures(report, resources)

    manifests = [(n, lang, d) for t, n, lang, d in resources if t == RT_MANIFEST]
    report([(n, lang) for n, lang, _ in manifests] == [(1, LANG_EN_US)], "manifest entry",
           "id 1, language 0x0409",
           ", ".join(f"{n}, language {lang:#06x}" for n, lang, _ in manifests) or "none")
    problem = _manifest_problem(manifests[0][2]) if manifests else "missing"
    report(problem is None, "manifest content", "asInvoker, uiAccess false, nothing else",
           problem or "as expected")

    code = sum(s[4] for s in pe.sections if s[5] & 0x20)
    other = sum(s[4] for s in pe.sections if not s[5] & 0x20 and s[0] != ".rsrc")
    if console:
        out(f"  file {len(data)} bytes; code {code} bytes, other sections {other} bytes "
            f"(resources excluded)")
        return results
    bitmaps = [d for t, _, _, d in resources if t == RT_BITMAP]
    picture_bytes = sum(len(d) for d in bitmaps)
    overhead = len(data) - picture_bytes
    out(f"  file {len(data)} bytes; pictures {picture_bytes} bytes "
        f"({100 * picture_bytes / len(data):.1f}%); code {code} bytes, "
        f"other sections {other} bytes (resources excluded)")
    report(overhead < MAX_OVERHEAD * len(data), "size beside the pictures",
           f"< {MAX_OVERHEAD:.0%} of the file",
           f"{overhead} bytes ({100 * overhead / len(data):.1f}%)")
    return results


def _check_pictures(report, resources):
    bitmaps = [(n, lang, d) for t, n, lang, d in resources if t == RT_BITMAP]
    names = sorted(str(n) for n, _, _ in bitmaps)
    report(names == sorted(PICTURES), "bitmap names", ", ".join(PICTURES), ", ".join(names))
    wrong = [f"{n}: language {lang:#06x}" if lang != LANG_EN_US else f"{n}: {problem}"
             for n, lang, d in bitmaps
             if lang != LANG_EN_US or (problem := _bitmap_problem(d))]
    report(not wrong, "bitmaps", f"language 0x0409, {PICTURE_W}x{PICTURE_H}x{PICTURE_BPP} BI_RGB",
           "; ".join(wrong) or f"{len(bitmaps)} as expected")


def main(argv):
    args = [a for a in argv[1:] if a not in ("-v", "--console")]
    reviewed = None
    if len(args) == 3 and args[0] == "--imports":
        with open(args[1], encoding="utf-8") as f:
            reviewed = read_import_list(f.read())
        args = args[2:]
    if len(args) != 1:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(args[0], "rb") as f:
        data = f.read()
    print(args[0])
    results = check(data, verbose="-v" in argv, reviewed_imports=reviewed, console="--console" in argv)
    for ok, name, expected, got in results:
        print(f"{'PASS' if ok else 'FAIL'} {name}: expected {expected}; got {got}")
    failed = sum(not ok for ok, *_ in results)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
