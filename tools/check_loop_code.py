#!/usr/bin/env python3
"""Checks each build's measured loops against their source, and prints them.

    tools/check_loop_code.py [PRESET...]    (default: linux windows linux-arm64;
                                              build them first)

Each loop, from its label to its branch back, must be:
  - in the object the build assembled, its source instruction for
    instruction: mnemonic, registers, immediates, and each address as the
    symbol and offset the source names;
  - in each program the build linked, those very bytes (but for the
    addresses the linker fills in), once, starting on a 64-byte boundary;
  - free of any atomic read-modify-write, as must be the carry it calls
    (CarryLoop): on x86 a lock prefix or an exchange with memory; on arm64
    an exclusive load or store, an LSE atomic or a call to the compiler's
    out-of-line atomics; on either a call to the C library's atomic helpers.
And the two x86 builds' loops must be the same bytes but for the addresses.
Exits 1 if anything differs, 2 if a build is missing.
"""
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# preset: (processor family, objdump, its comment mark, the programs linked)
BUILDS = {
    "linux": ("x86_64", "objdump", "#", ["display/koru-bench", "console/koru-bench-cli"]),
    "windows": ("x86_32", "i686-w64-mingw32-objdump", "#",
                ["display/koru-bench.exe", "console/koru-bench-cli.exe"]),
    "linux-arm64": ("arm64", "aarch64-linux-gnu-objdump", "//", ["display/koru-bench", "console/koru-bench-cli"]),
}
# Each loop's label and the label of its body, after the count.
LOOPS = [("IntegerLoop", "IntegerBody"), ("RealLoop", "RealBody")]
LOOP_ALIGNMENT = 64
DATA = "MeasuredMemory"
ADDRESS_SIZE = 4  # every address a loop holds is a 32-bit field

ATOMIC_X86 = re.compile(r"(^|\s)lock\s|\bxchg[bwlq]?\s[^#]*\(|__(atomic|sync)_")
ATOMIC_ARM64 = re.compile(
    r"^((ld|st)a?l?x[rp][bh]?|(ld|st)(add|clr|eor|set|smax|smin|umax|umin)(a|al|l)?[bh]?|"
    r"(ldclrp|ldsetp|swpp)(a|al|l)?|swp(a|al|l)?[bh]?|casp?(a|al|l)?[bh]?|rcw[a-z]*)\s|"
    r"__aarch64_(cas|swp|ldadd|ldclr|ldeor|ldset)|__(atomic|sync)_")
# objdump's names for what the source may spell otherwise
ALIASES = {"b.lo": "b.cc", "b.hs": "b.cs"}


class Drift(Exception):
    pass


def Run(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def Evaluate(expression):
    """Integer arithmetic as the preprocessor leaves it: 0x140+4, (4096-1)."""
    if not re.fullmatch(r"[0-9a-fA-FxX()+\-*~ ]+", expression):
        raise Drift(f"cannot read {expression!r}")
    return eval(expression, {"__builtins__": {}})  # digits and operators only


def Canonical(mnemonic, operands):
    """One instruction, its numbers in decimal and each symbol's arithmetic folded."""
    operands = re.sub(r"\s+", "", operands)
    operands = re.sub(r"(?<![%\w.])_?(" + DATA + r")([+\-][0-9a-fA-FxX+\-*]+)?",
                      lambda m: m.group(1) + (f"+{Evaluate(m.group(2))}" if m.group(2) else ""), operands)
    operands = re.sub(r"([$#])([0-9][0-9a-fA-FxX+\-*]*)", lambda m: f"{m.group(1)}{Evaluate(m.group(2))}",
                      operands)
    mnemonic = mnemonic.lower()
    return f"{ALIASES.get(mnemonic, mnemonic)} {operands}".strip()


def SourceLoops(preset, family):
    """Each loop's instructions as its source gives them, after the preprocessor."""
    cache = (ROOT / "build" / preset / "CMakeCache.txt").read_text()
    compiler = re.search(r"^CMAKE_ASM_COMPILER:\w+=(.*)$", cache, re.M).group(1)
    source = ROOT / "bench" / f"measured_loops_{family}.S"
    text = Run([compiler, "-E", "-P", "-x", "assembler-with-cpp", f"-I{ROOT / 'bench'}", str(source)])
    statements = []
    for statement in re.split(r"[;\n]", text):
        label = re.match(r"^\s*([A-Za-z_.][\w.]*):(.*)$", statement)
        if label:
            statements.append(label.group(1) + ":")
            statement = label.group(2)
        mnemonic, _, operands = statement.strip().partition(" ")
        if mnemonic and not mnemonic.startswith("."):
            statements.append(Canonical(mnemonic, operands))
    loops = {}
    for top, _ in LOOPS:
        loop = []
        for statement in statements[statements.index(top + ":") + 1:]:
            if not statement.endswith(":"):
                loop.append(statement)
                if statement.endswith(" " + top):
                    break
        loops[top] = loop
    return loops


def RawBytes(field):
    """objdump's raw field: bytes on x86, 32-bit words on arm64."""
    return b"".join(bytes.fromhex(token) if len(token) == 2 else int(token, 16).to_bytes(4, "little")
                    for token in field.split())


def Disassembly(objdump, comment, path):
    """Per label: its instructions as [address, bytes, mnemonic, operands, relocation].
    objdump -w puts each instruction's relocation on its line, after a tab."""
    labels, current = {}, None
    for line in Run([objdump, "-dr", "-w", str(path)]).splitlines():
        head = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        fields = line.split("\t")
        if head:
            current = labels.setdefault(head.group(1), [])
        elif len(fields) >= 3 and re.fullmatch(r"\s*[0-9a-f]+:", fields[0]) and current is not None:
            relocs = [f for f in fields[3:] if re.match(r"^\s*[0-9a-f]+: \S+$", f)]
            reloc = None
            if relocs:  # "42: R_X86_64_PC32", then "MeasuredMemory+0x3c"
                at, kind = relocs[0].split(": ")
                reloc = (int(at, 16), kind.strip(), fields[fields.index(relocs[0]) + 1].strip())
                fields = fields[:fields.index(relocs[0])]
            text = " ".join(fields[2:]).split(comment)[0].strip()
            mnemonic, _, operands = text.partition(" ")
            operands = operands.strip()
            target = re.match(r"^[0-9a-f]+ <([^>+]+)>$", operands)  # a branch: its label
            current.append([int(fields[0].strip(" :"), 16), RawBytes(fields[1]), mnemonic,
                            target.group(1) if target else operands, reloc])
    return labels


def BuiltLoop(instructions, top):
    """A loop's instructions from the object, each address as symbol+offset, and
    its bytes with the addresses zeroed."""
    listing, masked = [], b""
    for address, code, mnemonic, operands, reloc in instructions:
        if reloc:
            at, kind, target = reloc
            field = at - address
            symbol, _, addend = target.partition("+")
            if kind == "R_X86_64_PC32":  # counted from the field's end to the instruction's
                offset = int(addend or "0", 16) + len(code) - field
                operands = re.sub(r"-?0x[0-9a-f]+\(%rip\)", f"{symbol}+{offset}(%rip)", operands)
            elif kind == "dir32":  # the offset is in the field itself
                offset = int.from_bytes(code[field:field + ADDRESS_SIZE], "little")
                operands = re.sub(r"0x[0-9a-f]+", f"{symbol}+{offset}", operands, count=1)
            else:
                raise Drift(f"{top}: an address of a kind not expected in a loop, {kind}")
            code = code[:field] + bytes(ADDRESS_SIZE) + code[field + ADDRESS_SIZE:]
        listing.append(Canonical(mnemonic, operands))
        masked += code
        if listing[-1].endswith(" " + top):
            return listing, masked
    raise Drift(f"{top} has no branch back")


def Occurrences(masked, data):
    """Where the loop's bytes are in a program, any address in the zeroed fields."""
    pattern = re.escape(masked).replace(re.escape(bytes(ADDRESS_SIZE)), b".{%d}" % ADDRESS_SIZE)
    return [m.start() for m in re.finditer(pattern, data, re.DOTALL)]


def CheckBuild(preset):
    family, objdump, comment, programs = BUILDS[preset]
    build = ROOT / "build" / preset
    engine = build / "bench/CMakeFiles/koru_engine.dir"
    objects = sorted(engine.glob(f"measured_loops_{family}.S.o*")) + sorted(engine.glob("loop_counter.cpp.o*"))
    if len(objects) != 2:
        print(f"check_loop_code: the loops are not built in {build}: build the {preset} preset first",
              file=sys.stderr)
        sys.exit(2)
    labels = Disassembly(objdump, comment, objects[0])
    source = SourceLoops(preset, family)
    failures, built = [], {}
    for top, body in LOOPS:
        instructions = labels[top] + labels[body]
        listing, masked = BuiltLoop(instructions, top)
        built[top] = masked
        print(f"== {preset}: {top}, {len(listing)} instructions, {len(masked)} bytes")
        print("\n".join("   " + line for line in listing))
        if listing != source[top]:
            rows = max(len(listing), len(source[top]))
            pairs = zip(listing + [""] * rows, source[top] + [""] * rows)
            failures.append(f"{top} is not its source:\n" + "\n".join(
                f"   {'  ' if a == b else '!='} built {a:40} source {b}" for a, b in list(pairs)[:rows]))
        atomic = [f"{i[2]} {i[3]}" for i in instructions if Atomic(family, f"{i[2]} {i[3]}")]
        if atomic:
            failures.append(f"an atomic read-modify-write in {top}: {atomic}")
        for program in programs:
            path = build / program
            found = Occurrences(masked, path.read_bytes()) if path.exists() else []
            if len(found) != 1:
                failures.append(f"{program} holds {top} {len(found)} times, not once")
            elif found[0] % LOOP_ALIGNMENT:
                failures.append(f"{program}: {top} does not start on a {LOOP_ALIGNMENT}-byte boundary")
    carry = Disassembly(objdump, comment, objects[1])
    atomic = [f"{i[2]} {i[3]}" for name, code in carry.items() if name.lstrip("_").startswith("CarryLoop")
              for i in code if Atomic(family, f"{i[2]} {i[3]}")]
    if atomic:
        failures.append(f"an atomic read-modify-write in CarryLoop: {atomic}")
    return failures, built


def Atomic(family, line):
    return bool((ATOMIC_ARM64 if family == "arm64" else ATOMIC_X86).search(line + " "))


def main():
    presets = sys.argv[1:] or list(BUILDS)
    failed, x86 = False, {}
    for preset in presets:
        if preset not in BUILDS:
            print(f"check_loop_code: no preset {preset}", file=sys.stderr)
            return 2
        try:
            failures, built = CheckBuild(preset)
        except Drift as drift:
            failures, built = [str(drift)], {}
        for failure in failures:
            print(f"FAIL {preset}: {failure}")
        failed |= bool(failures)
        if BUILDS[preset][0].startswith("x86"):
            x86[preset] = built
    if len(x86) == 2:
        (one, a), (other, b) = x86.items()
        for top, _ in LOOPS:
            if a.get(top) != b.get(top):
                print(f"FAIL {top}: the {one} and {other} builds' loops are not the same bytes")
                failed = True
    print("check_loop_code: " + ("a loop is not as written" if failed else
                                 "every build's loops are their source, byte for byte in every program"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
