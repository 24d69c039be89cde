#!/usr/bin/env python3
"""Generates src/text/codepage932_table.cpp from Microsoft's bestfit932.txt.

Usage (from the repository root):
    python3 tools/gen_codepage932.py [path/to/bestfit932.txt] [output.cpp]
    python3 tools/gen_codepage932.py --check [path/to/bestfit932.txt] [output.cpp]

The input defaults to the copy kept with the tests,
tests/data/third_party/cp932/bestfit932.txt. With --check nothing is written:
the exit code is 1 when the file the generator would write differs from the
one there (a hand edit, or a generator changed without regenerating).

The generated file holds the records of the file as sorted arrays of pairs,
unchanged: the single-byte table (MBTABLE), the lead byte ranges (DBCSRANGE),
the two-byte table (all DBCSTABLEs, keyed lead << 8 | trail) and the UTF-16 to
code page table (WCTABLE, round-trip and best-fit entries alike). Any policy on
top of Windows' behaviour lives in the hand-written codepage932.cpp.

The parser is strict: every declared record count must match, and each code
must fit the byte structure the runtime assumes (trail bytes 0x40-0x7E and
0x80-0xFC, two-byte codes only under a lead byte), so a different or damaged
input fails here instead of producing a quietly wrong table.
"""
import os
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_INPUT = os.path.join(REPO, "tests", "data", "third_party", "cp932", "bestfit932.txt")
DEFAULT_OUTPUT = os.path.join(REPO, "src", "text", "codepage932_table.cpp")
PAIRS_PER_LINE = 8


def is_trail_byte(b):
    return 0x40 <= b <= 0x7E or 0x80 <= b <= 0xFC


def records(path):
    """Yields the fields of each non-empty line; comments (raw CP932) dropped."""
    with open(path, "rb") as f:
        for number, raw in enumerate(f, 1):
            fields = raw.split(b";", 1)[0].decode("ascii").split()
            if fields:
                yield number, fields


def parse(path):
    single, ranges, double, wide = [], [], [], []
    lines = records(path)
    ended = (0, ["<end of file>"])  # a truncated file then fails as a bad record

    def take(count, into, key):
        for _ in range(count):
            number, fields = next(lines, ended)
            if len(fields) != 2 or not fields[0].startswith("0x"):
                sys.exit(f"{path}:{number}: expected a record, got {fields}")
            into.append((key(int(fields[0], 16)), int(fields[1], 16)))

    for number, fields in lines:
        tag = fields[0]
        if tag == "MBTABLE":
            take(int(fields[1]), single, lambda b: b)
        elif tag == "DBCSRANGE":
            for _ in range(int(fields[1])):
                _, (first, last) = next(lines)
                first, last = int(first, 16), int(last, 16)
                ranges.append((first, last))
                for lead in range(first, last + 1):
                    _, table = next(lines)
                    if table[0] != "DBCSTABLE":
                        sys.exit(f"{path}: DBCSTABLE expected for lead byte {lead:#x}")
                    take(int(table[1]), double, lambda t, lead=lead: lead << 8 | t)
        elif tag == "WCTABLE":
            take(int(fields[1]), wide, lambda u: u)
        elif tag == "ENDCODEPAGE":
            break
        elif tag not in ("CODEPAGE", "CPINFO"):
            sys.exit(f"{path}:{number}: unexpected line {fields}")
    return single, ranges, double, wide


def check(single, ranges, double, wide):
    def is_lead(b):
        return any(first <= b <= last for first, last in ranges)

    for name, pairs in (("MBTABLE", single), ("DBCSTABLE", double), ("WCTABLE", wide)):
        keys = [k for k, _ in pairs]
        if not keys:
            sys.exit(f"no {name} records")
        if len(set(keys)) != len(keys):
            sys.exit(f"duplicate keys in {name}")
    if any(is_lead(b) or b > 0xFF for b, _ in single):
        sys.exit("MBTABLE maps a lead byte")
    if any(not is_trail_byte(code & 0xFF) for code, _ in double):
        sys.exit("DBCSTABLE has a trail byte outside 0x40-0x7E, 0x80-0xFC")
    for unit, code in wide:
        ok = is_lead(code >> 8) and is_trail_byte(code & 0xFF) if code > 0xFF else not is_lead(code)
        if unit > 0xFFFF or not ok:
            sys.exit(f"WCTABLE entry {unit:#06x} -> {code:#x} is not a valid code")


def array(name, pairs, width):
    cells = [f"{{0x{k:0{width}x},0x{v:04x}}}," for k, v in sorted(pairs)]
    rows = [" ".join(cells[i:i + PAIRS_PER_LINE]) for i in range(0, len(cells), PAIRS_PER_LINE)]
    body = "\n".join("    " + row for row in rows)
    return f"constexpr Pair k{name}Data[] = {{\n{body}\n}};\n\n"


def view(name):
    # constinit: the views are set before any dynamic initialisation runs.
    return f"constinit const std::span<const Pair> k{name}{{k{name}Data}};\n"


def main():
    args = sys.argv[1:]
    check_only = args[:1] == ["--check"]
    if check_only:
        args = args[1:]
    source = args[0] if len(args) > 0 else DEFAULT_INPUT
    target = args[1] if len(args) > 1 else DEFAULT_OUTPUT
    single, ranges, double, wide = parse(source)
    check(single, ranges, double, wide)
    text = (
        "// Generated by tools/gen_codepage932.py from bestfit932.txt; do not edit.\n"
        "// Microsoft's code page 932 records, unchanged: single bytes, lead byte\n"
        "// ranges, two-byte codes (lead << 8 | trail) and the UTF-16 to code page\n"
        "// table with its best-fit entries. Additions and decoding policy are in\n"
        "// codepage932.cpp.\n"
        "#include \"text/codepage932_table.h\"\n\n"
        "namespace cp932::table {\n"
        "namespace {\n\n"
        + array("SingleByte", single, 2)
        + array("LeadByteRanges", ranges, 2)
        + array("DoubleByte", double, 4)
        + array("WideChar", wide, 4)
        + "}  // namespace\n\n"
        + "".join(view(n) for n in ("SingleByte", "LeadByteRanges", "DoubleByte", "WideChar"))
        + "\n}  // namespace cp932::table\n")
    if check_only:
        with open(target, "rb") as f:
            committed = f.read()
        if committed != text.encode("ascii"):
            sys.exit(f"{target} is not what {source} gives: run python3 tools/gen_codepage932.py")
        print(f"{target}: as generated from {source}")
        return
    with open(target, "w", newline="\n") as f:
        f.write(text)
    print(f"{target}: {len(single)} single, {len(ranges)} ranges, "
          f"{len(double)} double, {len(wide)} wide")


if __name__ == "__main__":
    main()
