#!/usr/bin/env python3
"""Writes the benchmark's input files.

    make_data.py blob PATH MEBIBYTES      one file of pseudo-random bytes
    make_data.py text FOLDER COUNT BYTES  COUNT files of compressible text
                                          (words of a small vocabulary, ~3:1)
    make_data.py tree FOLDER DIRS FILES   DIRS folders of FILES 100-byte files
    make_data.py mixed FOLDER COUNT BYTES COUNT files, pseudo-random and text
                                          by turns (about 2:1 in all)
    make_data.py pad PATH BYTES SEED      appends BYTES, half pseudo-random,
                                          half text, to the file PATH
"""
import os
import random
import sys


def blob(path, mebibytes):
    rng = random.Random(1)
    chunk = rng.randbytes(1 << 20)
    with open(path, "wb") as out:
        for i in range(mebibytes):
            # Shifted per mebibyte so no two are alike.
            out.write(chunk[i:] + chunk[:i])


def vocabulary(rng):
    return ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
            for _ in range(4000)]


def text_bytes(rng, words, size):
    parts = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(12)) + " %d\r\n" % rng.randint(0, 1 << 30)
        parts.append(line)
        length += len(line)
    return "".join(parts).encode("ascii")[:size]


def text(folder, count, size):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(2)
    words = vocabulary(rng)
    for n in range(count):
        with open(os.path.join(folder, "plik%02d.txt" % n), "wb") as out:
            out.write(text_bytes(rng, words, size))


def mixed(folder, count, size):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(3)
    words = vocabulary(rng)
    for n in range(count):
        body = rng.randbytes(size) if n % 2 == 0 else text_bytes(rng, words, size)
        with open(os.path.join(folder, "dane%02d.dat" % n), "wb") as out:
            out.write(body)


def pad(path, size, seed):
    rng = random.Random(seed)
    with open(path, "ab") as out:
        out.write(rng.randbytes(size // 2))
        out.write(text_bytes(rng, vocabulary(rng), size - size // 2))


def tree(folder, dirs, files):
    for d in range(dirs):
        sub = os.path.join(folder, "d%03d" % d)
        os.makedirs(sub, exist_ok=True)
        for f in range(files):
            with open(os.path.join(sub, "f%03d.dat" % f), "wb") as out:
                out.write(b"x" * 100)


if __name__ == "__main__":
    kind = sys.argv[1]
    if kind == "blob":
        blob(sys.argv[2], int(sys.argv[3]))
    elif kind == "text":
        text(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif kind == "tree":
        tree(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif kind == "mixed":
        mixed(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif kind == "pad":
        pad(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        sys.exit(2)
