#!/usr/bin/env python3
"""Writes the packing benchmark's file set: text, binary and already-compressed files and one
large file mixing all three, from a fixed seed (the same bytes on every run).

    make_files.py DIR TOTAL_BYTES [--single]

Files are slices of a few megabytes of generated text and binary at random offsets: deflate
sees only its 32 KiB window, so repeats farther apart than that do not make the data easier
than fresh text, and the set is made in seconds. --single writes one file of TOTAL_BYTES of the
large file's mix instead.
"""
import os
import random
import sys
import zlib

CORPUS = 6 << 20

WORDS = ("the of and to in is that for it as was with be by on not he this are or his from at "
         "which but have an they you were her she there one all we their can has more when will "
         "would if been so no who some what them other out into time could up only do its then "
         "install folder package setup window archive entry value record header file name size "
         "error message table column register program shortcut version product licence").split()


def text_corpus(rng, size):
    """Prose-like lines, numbers and log-like fields, roughly what text files hold."""
    parts, length = [], 0
    vocabulary = WORDS + ["%s%d" % (w, i) for i, w in enumerate(WORDS * 20)]
    while length < size:
        kind = rng.random()
        if kind < 0.6:
            line = " ".join(rng.choices(vocabulary, k=rng.randint(4, 16))).capitalize() + ".\n"
        elif kind < 0.85:
            line = "%04d-%02d-%02d %02d:%02d:%02d [%s] %s=%d\n" % (
                rng.randint(2000, 2026), rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 23),
                rng.randint(0, 59), rng.randint(0, 59), rng.choice(WORDS), rng.choice(WORDS),
                rng.randint(0, 1 << 20))
        else:
            line = "    %s(%s, %d);\n" % (rng.choice(vocabulary), rng.choice(vocabulary),
                                         rng.randint(0, 999))
        parts.append(line)
        length += len(line)
    return "".join(parts).encode()[:size]


def binary_corpus(rng, size):
    """Records of small integers, skewed opcodes, zero runs and some noise, like program
    and data files."""
    weights = [1.0 / (1 + i) ** 1.3 for i in range(256)]
    symbols = list(range(256))
    out = bytearray()
    while len(out) < size:
        kind = rng.random()
        n = rng.randint(64, 4096)
        if kind < 0.45:
            out += bytes(rng.choices(symbols, weights=weights, k=n))
        elif kind < 0.7:
            for _ in range(n // 8):
                out += rng.randint(0, 5000).to_bytes(4, "little") + rng.choice(
                    (0, 1, 2, 0x400000, 0xFFFF)).to_bytes(4, "little")
        elif kind < 0.85:
            out += bytes(n)
        else:
            out += rng.randbytes(n)
    return bytes(out[:size])



def slice_of(rng, corpus, size):
    out = bytearray()
    while len(out) < size:
        at = rng.randrange(0, len(corpus) - 1)
        take = min(size - len(out), len(corpus) - at, rng.randint(1 << 16, 1 << 20))
        out += corpus[at:at + take]
    return bytes(out)


def mixed(rng, corpora, size):
    """Segments of all three kinds, like an archive of a product's files."""
    out = bytearray()
    while len(out) < size:
        corpus = rng.choices(corpora, weights=(5, 4, 2))[0]
        out += slice_of(rng, corpus, min(size - len(out), rng.randint(1 << 16, 4 << 20)))
    return bytes(out)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    folder, total = sys.argv[1], int(sys.argv[2])
    single = "--single" in sys.argv[3:]
    rng = random.Random(20261210)
    text = text_corpus(rng, CORPUS)
    binary = binary_corpus(rng, CORPUS)
    packed = zlib.compress(text_corpus(rng, 3 * CORPUS), 9)[:CORPUS]
    corpora = (text, binary, packed)
    os.makedirs(folder, exist_ok=True)
    names = []

    def write(name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        names.append(name)

    if single:
        write("large.bin", mixed(rng, corpora, total))
    else:
        write("large.bin", mixed(rng, corpora, total // 2))
        left, index = total - total // 2, 0
        kinds = (("txt", text, 1 << 10, 2 << 20), ("dat", binary, 10 << 10, 8 << 20),
                 ("cab", packed, 100 << 10, 5 << 20))
        while left > 0:
            ext, corpus, low, high = kinds[index % 3]
            size = min(left, rng.randint(low, high))
            write("f%03d.%s" % (index, ext), slice_of(rng, corpus, size))
            left -= size
            index += 1
    for name in names:
        print(name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
