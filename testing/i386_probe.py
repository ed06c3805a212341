#!/usr/bin/python3
"""Writes the smallest static i386 Linux program (exit(0) through int 0x80) to the path given, so
that a test run can ask the kernel once whether it runs 32-bit programs at all, before it counts on
the 32-bit Wine: a kernel without 32-bit support refuses it with "Exec format error"."""
import os
import struct
import sys

BASE = 0x08048000
CODE = bytes([0xB8, 1, 0, 0, 0,  # mov eax, 1 (exit)
              0x31, 0xDB,        # xor ebx, ebx
              0xCD, 0x80])       # int 0x80
HEADER, PROGRAM_HEADER = 52, 32


def probe() -> bytes:
    size = HEADER + PROGRAM_HEADER + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)  # 32-bit, little-endian, version 1
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, BASE + HEADER + PROGRAM_HEADER, HEADER, 0, 0,
                                 HEADER, PROGRAM_HEADER, 1, 0, 0, 0)  # executable, i386, one segment
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)  # loaded, read + execute
    return header + segment + CODE


if __name__ == "__main__":
    path = sys.argv[1]
    with open(path + ".new", "wb") as f:
        f.write(probe())
    os.chmod(path + ".new", 0o755)
    os.replace(path + ".new", path)
