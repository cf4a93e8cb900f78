#!/usr/bin/env python3
"""Sums a GNU ld map file's input sections by object (archive members are
grouped under their archive): map_sizes.py MAP [TOP]. Zero-filled data
(.bss, COMMON) is summed apart: it takes no room in the file."""
import collections
import os
import re
import sys

LINE = re.compile(r"^\s*(\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


def owner(name):
    name = name.strip()
    match = re.match(r"(.*\.a)\((.*)\)", name)
    if match:
        archive = os.path.basename(match.group(1))
        return archive, "%s(%s)" % (archive, match.group(2))
    return os.path.basename(name), os.path.basename(name)


def main():
    by_archive = collections.Counter()
    by_object = collections.Counter()
    zero_filled = collections.Counter()
    section = ""
    in_memory_map = False
    pending = None
    for raw in open(sys.argv[1], errors="replace"):
        if raw.startswith("Linker script and memory map"):
            in_memory_map = True
            continue
        if not in_memory_map or raw.startswith(" *") or "LOAD " in raw:
            continue
        line = raw.rstrip("\n")
        # A long section name sits alone, its address and size on the next line.
        if re.match(r"^ (\.\S+|COMMON)$", line):
            pending = line.strip()
            section = pending
            continue
        match = LINE.match(line)
        if match and (match.group(1) or pending):
            section = match.group(1) or pending
            size = int(match.group(3), 16)
            source = match.group(4)
            pending = None
            if size == 0 or source.startswith("0x") or "=" in source:
                continue
            archive, member = owner(source)
            if section.startswith(".bss") or section == "COMMON":
                zero_filled[member] += size
                continue
            by_archive[archive] += size
            by_object[member] += size
        else:
            pending = None
    top = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    print("# zero-filled (.bss), not in the file")
    for name, size in zero_filled.most_common(5):
        print("%8d  %s" % (size, name))
    print("# by archive or object file")
    for name, size in by_archive.most_common(top):
        print("%8d  %s" % (size, name))
    print("# by archive member")
    for name, size in by_object.most_common(top):
        print("%8d  %s" % (size, name))


main()
