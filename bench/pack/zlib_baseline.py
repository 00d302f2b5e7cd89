#!/usr/bin/env python3
"""Single-threaded zlib, the baseline: every file compressed with compress2 at level 9 (what
python's zlib.compress calls), written one after the other to OUTPUT.

    zlib_baseline.py OUTPUT FOLDER NAME...
"""
import os
import sys
import zlib


def main():
    output, folder, names = sys.argv[1], sys.argv[2], sys.argv[3:]
    with open(output + ".tmp", "wb") as out:
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            out.write(len(data).to_bytes(4, "little"))
            out.write(zlib.compress(data, 9))
    os.replace(output + ".tmp", output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
