#!/usr/bin/env python3
"""Makes the extraction benchmark's archives:
    make_inputs.py OUT_DIR BIG_BYTES SMALL_COUNT
big.zip holds one deflated entry of BIG_BYTES mixed bytes; small.zip holds SMALL_COUNT
deflated entries of a few hundred bytes to some tens of KB. The content is cut from pools
of markup-like text, table-like binary records and random bytes (about 60/34/6), in
pieces far apart in the pools, so it compresses like real files rather than like a
repeated pattern. Deterministic for a given size."""
import os
import random
import struct
import sys
import zipfile

POOL = 8 << 20


def text_pool(rng):
    syllables = ["ka", "lo", "mer", "ti", "on", "ver", "sa", "len", "du", "ri", "pa", "ex",
                 "an", "ber", "co", "ni", "tur", "mi", "ge", "sto"]
    words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(6000)]
    tags = ["p", "td", "li", "span", "a", "h2", "div"]
    parts, size = [], 0
    while size < POOL:
        tag = rng.choice(tags)
        sentence = " ".join(rng.choice(words) for _ in range(rng.randint(4, 24)))
        number = rng.randint(0, 99999)
        piece = '<%s class="c%d">%s %d.</%s>\n' % (tag, number % 17, sentence.capitalize(), number, tag)
        parts.append(piece)
        size += len(piece)
    return "".join(parts).encode()[:POOL]


def binary_pool(rng):
    out = bytearray()
    record = struct.Struct("<IHHfI")
    ident = 0
    while len(out) < POOL:
        ident += rng.randint(1, 3)
        out += record.pack(ident, rng.randint(0, 40), rng.choice((0, 1, 2, 0xFFFF)),
                           rng.randint(0, 4000) / 4.0, rng.choice((0, 0, 1, rng.randint(0, 1 << 16))))
    return bytes(out[:POOL])


class Mixer:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.pools = [text_pool(self.rng), binary_pool(self.rng), self.rng.randbytes(POOL)]

    def make(self, size, piece_max=65536):
        parts, have = [], 0
        while have < size:
            kind = self.rng.choices((0, 1, 2), weights=(60, 34, 6))[0]
            n = min(self.rng.randint(256, piece_max), size - have)
            start = self.rng.randint(0, POOL - n)
            parts.append(self.pools[kind][start:start + n])
            have += n
        return b"".join(parts)


def main():
    out, big_bytes, small_count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    os.makedirs(out, exist_ok=True)
    mixer = Mixer(20261210)
    with zipfile.ZipFile(os.path.join(out, "big.zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("big.bin", mixer.make(big_bytes))
    with zipfile.ZipFile(os.path.join(out, "small.zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for i in range(small_count):
            size = int(min(60000, max(200, mixer.rng.lognormvariate(8.0, 1.0))))
            ext = (".html", ".css", ".dat")[i % 3]
            z.writestr("site/d%03d/f%05d%s" % (i // 100, i, ext), mixer.make(size, piece_max=8192))


if __name__ == "__main__":
    main()
