#!/usr/bin/env python3
"""Checks the zip archives the tests wrote, with unzip and Python's zipfile, against the
list the tests left in archives.txt. Lines (tab-separated):
  entry   ARCHIVE NAME SOURCE METHOD EXTERNAL_ATTR_HEX MTIME
          SOURCE "log:FILE:TEXT" means FILE's bytes plus one stamped log line with TEXT;
          "*" for the attributes or the time skips that check
  absent  PATH          (no archive may be there)

usage: check_zip_archives.py FOLDER
"""
import collections
import os
import re
import struct
import subprocess
import sys
import time
import zipfile
import zlib


def fail(message):
    print("check_zip_archives:", message)
    sys.exit(1)


def extended_time(extra):
    at = 0
    while at + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, at)
        if tag == 0x5455:
            return extra[at + 4], struct.unpack_from("<I", extra, at + 5)[0]
        at += 4 + size
    return None, None


def main():
    folder = sys.argv[1]
    listing = os.path.join(folder, "archives.txt")
    if not os.path.exists(listing):
        fail("no archives.txt in " + folder)
    archives = collections.OrderedDict()
    absent = []
    for line in open(listing, encoding="latin-1"):
        fields = line.rstrip("\n").split("\t")
        if fields[0] == "entry":
            archives.setdefault(fields[1], []).append(fields[2:])
        elif fields[0] == "absent":
            absent.append(fields[1])
    if not archives:
        fail("no archives listed")
    for path in absent:
        if os.path.exists(os.path.join(folder, path)):
            fail(path + " should not exist")
    for archive, entries in archives.items():
        path = os.path.join(folder, archive)
        result = subprocess.run(["unzip", "-tqq", path], capture_output=True, text=True)
        if result.returncode != 0:
            fail("unzip -t %s: %s%s" % (archive, result.stdout, result.stderr))
        with zipfile.ZipFile(path) as z:
            if z.testzip() is not None:
                fail(archive + ": bad CRC in " + z.testzip())
            infos = z.infolist()
            if [i.filename for i in infos] != [e[0] for e in entries]:
                fail("%s: names %s" % (archive, [i.filename for i in infos]))
            for info, (name, source, method, attributes, mtime) in zip(infos, entries):
                where = "%s: %s: " % (archive, name)
                content = z.read(info)
                if source.startswith("log:"):
                    _, source, text = source.split(":", 2)
                    data = open(os.path.join(folder, source), "rb").read()
                    line = re.escape(text.encode("latin-1"))
                    if (not content.startswith(data) or not re.fullmatch(
                            rb"\d\d/\d\d/\d\d \d\d:\d\d:\d\d  " + line + rb"\r?\n",
                            content[len(data):])):
                        fail(where + "content differs")
                    data = content
                else:
                    data = open(os.path.join(folder, source), "rb").read()
                if info.file_size != len(data) or content != data:
                    fail(where + "content differs")
                if info.CRC != zlib.crc32(data):
                    fail(where + "CRC")
                if info.compress_type != int(method):
                    fail(where + "method %d" % info.compress_type)
                if attributes != "*" and info.external_attr != int(attributes, 16):
                    fail(where + "attributes %x" % info.external_attr)
                if info.create_system != 11 or info.create_version != 0x17:
                    fail(where + "made by %d/%d" % (info.create_system, info.create_version))
                flags, seconds = extended_time(info.extra)
                if mtime == "*":
                    mtime = seconds
                stamp = time.gmtime(int(mtime))
                expected = stamp[:5] + (stamp[5] // 2 * 2,)
                if info.date_time != expected:
                    fail(where + "time %s, expected %s" % (info.date_time, expected))
                if flags != 7 or seconds != int(mtime) & 0xFFFFFFFF:
                    fail(where + "extended time %s %s" % (flags, seconds))
    print("check_zip_archives: %d archives good" % len(archives))


main()
