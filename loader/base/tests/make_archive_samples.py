#!/usr/bin/env python3
"""Writes gzip inputs made by GNU gzip and Python's gzip and zlib, with a list of what
each should decode to, and empties the folder the zip tests write into.

usage: make_archive_samples.py SAMPLES_DIR ZIP_OUTPUT_DIR
"""
import gzip
import os
import shutil
import struct
import subprocess
import sys
import zlib


def text(lines, seed):
    return b"".join(b"%02d/12/26 10:%02d:%02d  line %d of sample %d, some words to repeat\n"
                    % (seed, i // 60 % 60, i % 60, i, seed) for i in range(lines))


def gnu_gzip(path, data, name):
    plain = os.path.join(os.path.dirname(path), name)
    with open(plain, "wb") as f:
        f.write(data)
    # Keeps the original name in the header (FNAME).
    subprocess.run(["gzip", "-f", "-8", plain], check=True)
    os.replace(plain + ".gz", path)


def member(data, flags, extra=b"", name=b"", comment=b""):
    header = b"\x1f\x8b\x08" + bytes([flags]) + struct.pack("<I", 1700000000) + b"\x00\x03"
    if flags & 0x04:
        header += struct.pack("<H", len(extra)) + extra
    if flags & 0x08:
        header += name + b"\x00"
    if flags & 0x10:
        header += comment + b"\x00"
    if flags & 0x02:
        header += struct.pack("<H", zlib.crc32(header) & 0xFFFF)
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = packer.compress(data) + packer.flush()
    return header + body + struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)


def main():
    samples, zip_output = sys.argv[1], sys.argv[2]
    for folder in (samples, zip_output):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)

    one, two = text(3000, 1), text(500, 2)
    cases = []  # name, input bytes, expected bytes, data error expected

    def add(name, data, expected, error):
        with open(os.path.join(samples, name), "wb") as f:
            f.write(data)
        with open(os.path.join(samples, name + ".expected"), "wb") as f:
            f.write(expected)
        cases.append((name, int(error)))

    gnu_gzip(os.path.join(samples, "gnu_one.tmp"), one, "one.txt")
    gnu_gzip(os.path.join(samples, "gnu_two.tmp"), two, "two.txt")
    gnu_one = open(os.path.join(samples, "gnu_one.tmp"), "rb").read()
    gnu_two = open(os.path.join(samples, "gnu_two.tmp"), "rb").read()
    os.remove(os.path.join(samples, "gnu_one.tmp"))
    os.remove(os.path.join(samples, "gnu_two.tmp"))
    python_one = gzip.compress(one, compresslevel=9, mtime=0)

    add("gnu.gz", gnu_one, one, False)
    add("gnu_members.gz", gnu_one + gnu_two, one + two, False)
    add("python.gz", python_one, one, False)
    add("python_members.gz", python_one + gzip.compress(two) + gzip.compress(b""), one + two,
        False)
    add("header_flags.gz", member(one, 0x04 | 0x08 | 0x10 | 0x02, b"AB\x02\x00xy", b"one.txt",
                                  b"a comment") + member(two, 0x10, comment=b"second"),
        one + two, False)
    add("empty_member.gz", gzip.compress(b""), b"", False)
    add("trailing_bytes.gz", gnu_one + b"not another member", one, False)
    add("plain.txt", two, two, False)
    # Data errors keep what was decoded before them (error 1: a prefix of the expected
    # bytes; error 2: bytes that cannot be told).
    add("truncated.gz", gnu_one[:len(gnu_one) // 2], one, True)
    add("truncated_trailer.gz", python_one[:-6], one, True)
    add("truncated_header.gz", member(one, 0x08, name=b"one.txt")[:14], b"", 2)
    bad_crc = bytearray(python_one)
    bad_crc[-8] ^= 0xFF
    add("bad_crc.gz", bytes(bad_crc), one, True)
    add("bad_second_member.gz", gnu_one + b"\x1f\x8b\x07\x00" + b"\x00" * 20, one, True)
    add("reserved_flag.gz", b"\x1f\x8b\x08\x20" + python_one[4:], b"", 2)
    corrupt = bytearray(python_one)
    corrupt[20:40] = b"\xff" * 20
    add("corrupt_data.gz", bytes(corrupt), b"", 2)

    with open(os.path.join(samples, "zeros.gz"), "wb") as f:
        f.write(gzip.compress(bytes(30000000)))

    with open(os.path.join(samples, "samples.txt"), "w") as f:
        for name, error in cases:
            f.write("%s %d\n" % (name, error))


main()
