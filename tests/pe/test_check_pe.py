#!/usr/bin/python3
"""The PE checker on small images built here: a well-formed one passes, and
each fault fails exactly the check meant to catch it."""
import contextlib
import io
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import check_pe  # noqa: E402

MANIFEST = b"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>
    <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
  </requestedPrivileges></security></trustInfo>
</assembly>"""
SECTION_RVA = 0x1000


def bitmap(width=640, height=480, bpp=24, compression=0):
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression, 0, 0, 0, 0, 0)
    return header + bytes(abs(height) * ((width * bpp // 8 + 3) & ~3))


def good_resources():
    return ([(2, name, 0x0409, bitmap()) for name in check_pe.PICTURES]
            + [(24, 1, 0x0409, MANIFEST)])


def import_tables(rva, imports):
    """Import descriptors, lookup tables and names, placed at rva."""
    blob = bytearray(20 * (len(imports) + 1))
    for i, (dll, names) in enumerate(imports.items()):
        hints = []
        for name in names:
            hints.append(rva + len(blob))
            blob += struct.pack("<H", 0) + name.encode() + b"\0\0"
        name_rva = rva + len(blob)
        blob += dll.encode() + b"\0\0"
        thunks = rva + len(blob)
        blob += struct.pack(f"<{len(hints) + 1}I", *hints, 0)
        struct.pack_into("<IIIII", blob, 20 * i, thunks, 0, 0, name_rva, thunks)
    return bytes(blob)


def resource_tree(rva, resources):
    """The type/name/language directory tree with its data, placed at rva."""
    tree = {}
    for type_, name, lang, data in resources:
        tree.setdefault(type_, {}).setdefault(name, {})[lang] = data
    blob = bytearray()

    def directory(children):
        at = len(blob)
        keys = sorted((k for k in children if isinstance(k, str))) + \
            sorted(k for k in children if isinstance(k, int))
        named = sum(isinstance(k, str) for k in keys)
        blob.extend(struct.pack("<IIHHHH", 0, 0, 0, 0, named, len(keys) - named) + bytes(8 * len(keys)))
        for i, key in enumerate(keys):
            child = children[key]
            target = directory(child) | 0x80000000 if isinstance(child, dict) else leaf(child)
            if isinstance(key, str):
                name_at = len(blob)
                blob.extend(struct.pack("<H", len(key)) + key.encode("utf-16-le"))
                key = name_at | 0x80000000
            struct.pack_into("<II", blob, at + 16 + 8 * i, key, target)
        return at

    def leaf(data):
        at = len(blob)
        blob.extend(bytes(16 + (-(len(blob) + 16) % 4)))
        struct.pack_into("<II", blob, at, rva + len(blob), len(data))
        blob.extend(data)
        return at

    directory(tree)
    return bytes(blob)


# Code bytes: x87 arithmetic, cmov and an integer loop, as the program has.
PLAIN_CODE = bytes.fromhex("d9e8" "dec9" "0f44c2" "83c001" "75fb" "c3")


def build_pe(machine=0x14C, magic=0x10B, subsystem=2, subsystem_version=(4, 0),
             os_version=(4, 0), imports=None, resources=None, overlay=b"", code=PLAIN_CODE):
    if imports is None:
        imports = {"KERNEL32.dll": ["GetTickCount", "Sleep"], "user32.DLL": ["ShowWindow"]}
    body = bytearray(import_tables(SECTION_RVA, imports))
    body += bytes(-len(body) % 16)
    rsrc_rva = SECTION_RVA + len(body)
    body += resource_tree(rsrc_rva, good_resources() if resources is None else resources)
    body += bytes(-len(body) % 0x200)

    dirs = [(0, 0)] * 16
    dirs[1] = (SECTION_RVA, 20 * (len(imports) + 1))
    dirs[2] = (rsrc_rva, SECTION_RVA + len(body) - rsrc_rva)
    optional = bytearray(96)
    struct.pack_into("<H", optional, 0, magic)
    struct.pack_into("<HH", optional, 40, *os_version)
    struct.pack_into("<HH", optional, 48, *subsystem_version)
    struct.pack_into("<H", optional, 68, subsystem)
    struct.pack_into("<I", optional, 92, 16)
    optional += b"".join(struct.pack("<II", *d) for d in dirs)

    text = code + bytes(-len(code) % 0x200)
    text_rva = SECTION_RVA + (len(body) + 0xFFF) // 0x1000 * 0x1000

    headers = bytearray(0x40)
    headers[:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, 0x40)
    headers += b"PE\0\0" + struct.pack("<HHIIIHH", machine, 2, 0, 0, 0, len(optional), 0x102)
    headers += optional
    headers += struct.pack("<8sIIIIIIHHI", b".rsrc", len(body), SECTION_RVA, len(body), 0x200,
                           0, 0, 0, 0, 0x40000040)
    headers += struct.pack("<8sIIIIIIHHI", b".text", len(code), text_rva, len(text), 0x200 + len(body),
                           0, 0, 0, 0, 0x60000020)
    headers += bytes(0x200 - len(headers))
    return bytes(headers + body + text) + overlay


def failures(image):
    results = check_pe.check(image, out=lambda line: None)
    return {name for ok, name, _, _ in results if not ok}


class CheckPeTest(unittest.TestCase):
    def assertFailsOnly(self, image, *names):
        self.assertEqual(failures(image), set(names))

    def test_well_formed_image_passes_every_check(self):
        results = check_pe.check(build_pe(), out=lambda line: None)
        self.assertEqual([r for r in results if not r[0]], [])
        self.assertGreaterEqual(len(results), 15)

    def test_headers(self):
        for label, image, check in [
            ("console", build_pe(subsystem=3), "subsystem"),
            ("Vista subsystem", build_pe(subsystem_version=(6, 0)), "subsystem version"),
            ("5.2 subsystem", build_pe(subsystem_version=(5, 2)), "subsystem version"),
            ("Vista OS", build_pe(os_version=(6, 0)), "OS version"),
            ("x86-64", build_pe(machine=0x8664), "machine"),
        ]:
            with self.subTest(label):
                self.assertFailsOnly(image, check)
        self.assertFailsOnly(build_pe(subsystem_version=(5, 1), os_version=(5, 1)))
        self.assertIn("format", failures(build_pe(magic=0x20B)))

    def test_imports(self):
        kernel = ["GetTickCount"]
        for label, imports, check in [
            ("Vista function", {"KERNEL32.dll": kernel + ["GetTickCount64"]}, "imported functions"),
            ("A/W variant", {"kernel32.dll": ["CreateEventExW"]}, "imported functions"),
            ("fiber storage", {"KERNEL32.dll": ["FlsAlloc"]}, "imported functions"),
            ("secure CRT", {"msvcrt.dll": ["strcpy_s"]}, "imported functions"),
            ("runtime DLL", {"KERNEL32.dll": kernel, "libstdc++-6.dll": ["_Znwj"]}, "imported DLLs"),
            ("UCRT", {"api-ms-win-crt-runtime-l1-1-0.dll": ["_initterm"]}, "imported DLLs"),
        ]:
            with self.subTest(label):
                self.assertFailsOnly(build_pe(imports=imports), check)
        # Names that merely start like a Vista one stay allowed.
        self.assertFailsOnly(build_pe(imports={"KERNEL32.DLL": ["CreateEventW", "FlsAllocate"]}))
        # An import by ordinal cannot be told apart from a Vista one.
        by_ordinal = bytearray(build_pe(imports={"KERNEL32.dll": ["Sleep"]}))
        lookup = struct.unpack_from("<I", by_ordinal, 0x200)[0] - SECTION_RVA + 0x200
        struct.pack_into("<I", by_ordinal, lookup, 0x80000011)
        self.assertFailsOnly(bytes(by_ordinal), "imported functions")

    def test_resources(self):
        good = good_resources()
        pictures, manifest = good[:-1], good[-1]
        extra_element = MANIFEST.replace(
            b"</assembly>", b"<application><windowsSettings/></application></assembly>")
        for label, resources, checks in [
            ("icon", good + [(3, 1, 0x0409, bytes(40))], ["resource types"]),
            ("version", good + [(16, 1, 0x0409, bytes(40))], ["resource types"]),
            ("picture missing", pictures[1:] + [manifest], ["bitmap names"]),
            ("picture by id", pictures[1:] + [(2, 7, 0x0409, bitmap()), manifest], ["bitmap names"]),
            ("German picture", pictures[1:] + [(2, "BG_BMP", 0x0407, bitmap()), manifest], ["bitmaps"]),
            ("32 bpp", [(2, "BG_BMP", 0x0409, bitmap(bpp=32))] + pictures[1:] + [manifest], ["bitmaps"]),
            ("top-down", [(2, "BG_BMP", 0x0409, bitmap(height=-480))] + pictures[1:] + [manifest], ["bitmaps"]),
            ("RLE", [(2, "BG_BMP", 0x0409, bitmap(compression=1))] + pictures[1:] + [manifest], ["bitmaps"]),
            ("cut short", [(2, "BG_BMP", 0x0409, bitmap()[:-4])] + pictures[1:] + [manifest], ["bitmaps"]),
            ("manifest id 2", pictures + [(24, 2, 0x0409, MANIFEST)], ["manifest entry"]),
            ("two manifests", good + [(24, 1, 0x0407, MANIFEST)], ["manifest entry"]),
            ("extra element", pictures + [(24, 1, 0x0409, extra_element)], ["manifest content"]),
            ("administrator", pictures + [(24, 1, 0x0409, MANIFEST.replace(
                b"asInvoker", b"requireAdministrator"))], ["manifest content"]),
            ("not XML", pictures + [(24, 1, 0x0409, b"<assembly>")], ["manifest content"]),
            ("no manifest", pictures, ["resource types", "manifest entry", "manifest content"]),
        ]:
            with self.subTest(label):
                self.assertFailsOnly(build_pe(resources=resources), *checks)

    def test_imports_against_the_reviewed_list(self):
        reviewed = check_pe.read_import_list(
            "# reviewed\nkernel32.dll GetTickCount\nKERNEL32.DLL Sleep  # the worker\nuser32.dll ShowWindow\n")
        image = build_pe()

        def failed(imports_list):
            return {name for ok, name, _, _ in check_pe.check(image, out=lambda line: None,
                                                                reviewed_imports=imports_list) if not ok}
        self.assertEqual(failed(reviewed), set())
        self.assertEqual(failed(reviewed - {("kernel32.dll", "Sleep")}), {"imports as reviewed"})
        self.assertEqual(failed(reviewed | {("gdi32.dll", "TextOutA")}), {"imports as reviewed"})
        self.assertNotIn("imports as reviewed", failures(image))  # no list given, no check

    def test_console_program(self):
        manifest_only = [(24, 1, 0x0409, MANIFEST)]

        def console_failures(image):
            return {name for ok, name, _, _ in check_pe.check(image, out=lambda line: None, console=True)
                    if not ok}
        self.assertEqual(console_failures(build_pe(subsystem=3, resources=manifest_only)), set())
        for label, image, checks in [
            ("GUI program", build_pe(resources=manifest_only), {"subsystem"}),
            ("pictures", build_pe(subsystem=3), {"resource types"}),
            ("no manifest", build_pe(subsystem=3, resources=[]),
             {"resource types", "manifest entry", "manifest content"}),
        ]:
            with self.subTest(label):
                self.assertEqual(console_failures(image), checks)

    def test_processor_instructions(self):
        for label, instruction in [
            ("SSE2 double arithmetic", "f20f58c1"),        # addsd %xmm1,%xmm0
            ("SSE register zeroing", "0f57c0"),            # xorps %xmm0,%xmm0
            ("SSE control register", "0fae10"),            # ldmxcsr (%eax)
            ("SSE fence", "0faef8"),                       # sfence
            ("MMX", "0fefc0"),                             # pxor %mm0,%mm0
        ]:
            with self.subTest(label):
                code = PLAIN_CODE[:-1] + bytes.fromhex(instruction) + b"\xc3"
                self.assertFailsOnly(build_pe(code=code), "processor instructions")

    def test_size_beside_the_pictures(self):
        picture_bytes = len(check_pe.PICTURES) * len(bitmap())
        image = build_pe()
        room = picture_bytes // 9 - (len(image) - picture_bytes)  # just under 10%
        self.assertFailsOnly(build_pe(overlay=bytes(room - 16)))
        self.assertFailsOnly(build_pe(overlay=bytes(room + 16)), "size beside the pictures")

    def test_damaged_files_fail_without_a_traceback(self):
        image = build_pe()
        for label, damaged in [("not PE", b"MZ" + bytes(100)), ("empty", b""),
                               ("truncated", image[:0x300])]:
            with self.subTest(label):
                self.assertTrue(failures(damaged))

    def test_command_line(self):
        with tempfile.TemporaryDirectory() as d:
            for image, code, summary in [(build_pe(), 0, "15 passed, 0 failed"),
                                         (build_pe(subsystem=3), 1, "14 passed, 1 failed")]:
                path = os.path.join(d, "koru-bench.exe")
                with open(path, "wb") as f:
                    f.write(image)
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    self.assertEqual(check_pe.main(["check_pe.py", "-v", path]), code)
                self.assertIn("import KERNEL32.dll: GetTickCount Sleep", out.getvalue())
                self.assertEqual(out.getvalue().splitlines()[-1], summary)


if __name__ == "__main__":
    unittest.main()
