#!/usr/bin/env python3
"""Folds a PE file's headers into one 512-byte sector, in place.

  pe-fold-headers.py EXE

ld puts the PE header behind a 64-byte DOS program ("This program cannot be
run in DOS mode"), at offset 0x80. With the launcher's five sections that
makes the headers end at byte 576, so they take two 512-byte sectors. The PE
header may follow the 64-byte DOS header directly (the DOS program is only
run by DOS): then the headers end at 512 and one sector holds them.

This moves the PE header to 0x40, moves every section's raw data one sector
earlier, sets SizeOfHeaders and recomputes the checksum. Nothing the loader
maps changes: section addresses, sizes and contents stay the same. A file
whose headers would not fit one sector, that is signed, or that carries
file-offset data the move would break is left as it is (exit 0, with a
line saying why); anything that is not a PE file is an error (exit 1).
"""
import struct
import sys

SECTOR = 512
DOS_HEADER = 0x40


def checksum(data, checksum_at):
    """The PE checksum: 16-bit one's-complement sum of the file, plus its length."""
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for i in range(0, len(padded), 2):
        if checksum_at <= i < checksum_at + 4:
            continue
        total += padded[i] | (padded[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def fold(path):
    with open(path, "rb") as f:
        d = bytearray(f.read())
    if len(d) < DOS_HEADER or d[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    pe = struct.unpack_from("<I", d, 0x3C)[0]
    if pe + 24 > len(d) or d[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    count, = struct.unpack_from("<H", d, pe + 6)
    optional, = struct.unpack_from("<H", d, pe + 20)
    opt = pe + 24
    magic, = struct.unpack_from("<H", d, opt)
    if magic not in (0x10B, 0x20B):
        raise ValueError("not a PE32 or PE32+ image")
    # PE32+ widens four fields to 8 bytes: its data directories start 16 later.
    dirs_at = opt + (112 if magic == 0x20B else 96)
    file_align, = struct.unpack_from("<I", d, opt + 36)
    headers_size, = struct.unpack_from("<I", d, opt + 60)
    dirs_count, = struct.unpack_from("<I", d, dirs_at - 4)
    end = pe + 24 + optional + 40 * count
    new_end = DOS_HEADER + (end - pe)
    if pe == DOS_HEADER:
        return "already folded"
    if file_align != SECTOR or headers_size != 2 * SECTOR or new_end > SECTOR:
        return "headers do not fold into one sector here; left as they are"
    # Data that is found by file offset: the certificate table (4) and the
    # debug directory's raw data (6). The launcher has neither.
    for index in (4, 6):
        if index < dirs_count:
            rva, size = struct.unpack_from("<II", d, dirs_at + 8 * index)
            if size:
                return "the file has data found by file offset (directory %d); left as it is" % index
    sections = []
    for i in range(count):
        at = pe + 24 + optional + 40 * i
        raw_size, raw_at = struct.unpack_from("<II", d, at + 16)
        if raw_size and raw_at < 2 * SECTOR:
            return "a section's data starts inside the headers; left as it is"
        sections.append((at, raw_size, raw_at))

    out = bytearray(d[:DOS_HEADER])
    struct.pack_into("<I", out, 0x3C, DOS_HEADER)
    out += d[pe:end]
    out += b"\0" * (SECTOR - len(out))
    out += d[2 * SECTOR:]
    shift = pe - DOS_HEADER
    new_opt = opt - shift
    struct.pack_into("<I", out, new_opt + 60, SECTOR)
    for at, raw_size, raw_at in sections:
        if raw_size:
            struct.pack_into("<I", out, at - shift + 20, raw_at - SECTOR)
    struct.pack_into("<I", out, new_opt + 64, 0)
    struct.pack_into("<I", out, new_opt + 64, checksum(bytes(out), new_opt + 64))
    with open(path, "wb") as f:
        f.write(out)
    return "headers folded: %d -> %d bytes" % (len(d), len(out))


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        print("%s: %s" % (sys.argv[1], fold(sys.argv[1])))
    except (OSError, ValueError, struct.error) as e:
        print("%s: %s" % (sys.argv[1], e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
