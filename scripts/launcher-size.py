#!/usr/bin/env python3
"""The launcher's size without its resource section, from the PE headers.

  launcher-size.py EXE                  prints: total, resource section, without it (bytes)
  launcher-size.py EXE --budget BYTES   also fails (exit 1) when the size without
                                        resources is over BYTES, or when the file
                                        gave up relocations (ASLR) or DEP
  launcher-size.py EXE --hardened       fails only when relocations or DEP are
                                        gone (the x86-64 twin: no budget)
  ... --imports                         also fails unless the file imports exactly
                                        KERNEL32, USER32 and GDI32 and delay-loads
                                        nothing (read here, natively, so that the
                                        check holds where no Wine runs the file)

The resource section is counted by its raw size in the file (what the medium
tool replaces); everything else is the launcher's code, data and headers.
"""
import argparse
import struct
import sys

IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
IMAGE_FILE_RELOCS_STRIPPED = 0x0001


def read_pe(path):
    with open(path, "rb") as f:
        d = f.read()
    if len(d) < 0x40 or d[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    pe = struct.unpack_from("<I", d, 0x3C)[0]
    if pe + 24 > len(d) or d[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    count, = struct.unpack_from("<H", d, pe + 6)
    optional, characteristics = struct.unpack_from("<HH", d, pe + 20)
    if pe + 24 + optional + 40 * count > len(d) or optional < 72:
        raise ValueError("section table past the end of the file")
    dll_characteristics, = struct.unpack_from("<H", d, pe + 24 + 70)
    sections = []
    for i in range(count):
        name, raw = struct.unpack_from("<8s8xI", d, pe + 24 + optional + 40 * i)
        sections.append((name.rstrip(b"\0").decode("latin-1"), raw))
    return len(d), sections, characteristics, dll_characteristics


def read_imports(path):
    """The names of the libraries a PE32 or PE32+ file imports, and whether it delay-loads any."""
    with open(path, "rb") as f:
        d = f.read()
    pe = struct.unpack_from("<I", d, 0x3C)[0]
    count, = struct.unpack_from("<H", d, pe + 6)
    optional, = struct.unpack_from("<H", d, pe + 20)
    opt = pe + 24
    magic, = struct.unpack_from("<H", d, opt)
    dirs = opt + (112 if magic == 0x20B else 96)
    table = []
    for i in range(count):
        vsize, va, raw_size, raw_at = struct.unpack_from("<IIII", d, opt + optional + 40 * i + 8)
        table.append((va, max(vsize, raw_size), raw_at))

    def offset(rva):
        for va, span, raw_at in table:
            if va <= rva < va + span:
                return raw_at + rva - va
        raise ValueError("RVA 0x%x outside the sections" % rva)

    import_rva, = struct.unpack_from("<I", d, dirs + 8 * 1)
    delay_rva, delay_size = struct.unpack_from("<II", d, dirs + 8 * 13)
    names = []
    if import_rva:
        at = offset(import_rva)
        for _ in range(64):
            name_rva, thunks = struct.unpack_from("<12xII", d, at)
            if name_rva == 0 and thunks == 0:
                break
            start = offset(name_rva)
            names.append(d[start:d.index(b"\0", start)].decode("latin-1").upper())
            at += 20
    return sorted(names), delay_size != 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("exe")
    parser.add_argument("--budget", type=int)
    parser.add_argument("--hardened", action="store_true")
    parser.add_argument("--imports", action="store_true")
    args = parser.parse_args()
    try:
        total, sections, characteristics, dll = read_pe(args.exe)
    except (OSError, ValueError, struct.error) as e:
        print(f"{args.exe}: {e}", file=sys.stderr)
        return 2
    rsrc = sum(raw for name, raw in sections if name == ".rsrc")
    without = total - rsrc
    print(f"{total} {rsrc} {without}")
    if args.budget is None and not args.hardened:
        return 0
    failed = False
    if args.budget is not None and without > args.budget:
        print(f"{args.exe}: {without} bytes without resources, over the budget of {args.budget} "
              f"by {without - args.budget}; sections: "
              + ", ".join(f"{n} {r}" for n, r in sections), file=sys.stderr)
        failed = True
    if not dll & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE or characteristics & IMAGE_FILE_RELOCS_STRIPPED \
            or not any(name == ".reloc" and raw > 0 for name, raw in sections):
        print(f"{args.exe}: not relocatable (ASLR lost)", file=sys.stderr)
        failed = True
    if not dll & IMAGE_DLLCHARACTERISTICS_NX_COMPAT:
        print(f"{args.exe}: not marked NX compatible (DEP lost)", file=sys.stderr)
        failed = True
    if args.imports:
        try:
            names, delayed = read_imports(args.exe)
        except (OSError, ValueError, struct.error) as e:
            print(f"{args.exe}: imports: {e}", file=sys.stderr)
            return 2
        if names != ["GDI32.DLL", "KERNEL32.DLL", "USER32.DLL"] or delayed:
            print(f"{args.exe}: imports {', '.join(names) or 'nothing'}"
                  f"{' and delay-loads libraries' if delayed else ''}; only KERNEL32, USER32 and GDI32 "
                  "(libraries the system loads from its own directory) may be imported", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
