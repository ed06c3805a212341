#!/usr/bin/env python3
"""Writes the pe_image_fuzzer's seeds into fuzz/corpus/pe_image_fuzzer: a small sound PE32 image with
one resource, and the shapes a broken or hostile launcher takes (cut short, a resource table claiming
0xFFFF entries, a resource tree that loops, a certificate entry inside a section or of size
0xFFFFFFFF, a resource directory past the file). The built launchers join them at run time
(fuzz/run.sh). Run again only to change the seeds:  python3 fuzz/pe_seeds.py"""
import os
import struct

PE, OPTIONAL = 0x40, 0x58
DIRECTORIES = OPTIONAL + 96
SECTIONS = OPTIONAL + 0xE0
RESOURCES = 0x200


def small_image() -> bytearray:
    image = bytearray(0x400)
    struct.pack_into("<H", image, 0, 0x5A4D)
    struct.pack_into("<I", image, 0x3C, PE)
    struct.pack_into("<IHH", image, PE, 0x00004550, 0x14C, 1)
    struct.pack_into("<H", image, PE + 20, 0xE0)
    struct.pack_into("<H", image, OPTIONAL, 0x10B)
    struct.pack_into("<I", image, OPTIONAL + 92, 16)
    struct.pack_into("<II", image, DIRECTORIES + 16, 0x1000, 0x100)
    struct.pack_into("<8sIIII", image, SECTIONS, b".rsrc", 0x200, 0x1000, 0x200, RESOURCES)
    for table, entry_id, target in ((0x00, 10, 0x80000018), (0x18, 1, 0x80000030), (0x30, 0, 0x48)):
        struct.pack_into("<HII", image, RESOURCES + table + 14, 1, entry_id, target)
    struct.pack_into("<II", image, RESOURCES + 0x48, 0x1060, 4)
    image[RESOURCES + 0x60:RESOURCES + 0x64] = b"data"
    return image


def shapes():
    sound = small_image()
    yield "sound.exe", sound
    yield "cut-short.exe", sound[:0x300]
    many = bytearray(sound)
    struct.pack_into("<H", many, RESOURCES + 14, 0xFFFF)
    yield "resource-count-ffff.exe", many
    loop = bytearray(sound)
    struct.pack_into("<I", loop, RESOURCES + 0x18 + 20, 0x80000000)
    yield "resource-loop.exe", loop
    inside = bytearray(sound)
    struct.pack_into("<II", inside, DIRECTORIES + 32, 0x210, 62)
    yield "certificate-inside-section.exe", inside
    huge = bytearray(sound)
    struct.pack_into("<II", huge, DIRECTORIES + 32, 0x400, 0xFFFFFFFF)
    yield "certificate-size-ffffffff.exe", huge
    past = bytearray(sound)
    struct.pack_into("<I", past, DIRECTORIES + 16, 0x90000)
    yield "resources-past-the-file.exe", past


if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "pe_image_fuzzer")
    os.makedirs(folder, exist_ok=True)
    for name, data in shapes():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(data))
