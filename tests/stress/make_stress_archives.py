#!/usr/bin/env python3
"""Archives for the viewer's interleaving stress test, made with Info-ZIP zip and python3's
zipfile, and the bytes Info-ZIP unzip gives for every entry.

manifest.tsv: archive, listed name (hex, "\\" separators), expected bytes file, password
(hex). One line per entry, in directory order (the viewer shows the first match)."""
import os
import random
import shutil
import subprocess
import sys
import zipfile

out = os.path.abspath(sys.argv[1])
shutil.rmtree(out, ignore_errors=True)
src = os.path.join(out, "src")
os.makedirs(src)
rng = random.Random(1414)
words = [b"vellum", b"page", b"archive", b"entry", b"block", b"stream", b"window", b"click",
         b"Combo", b"SELECT", b"extract", b"wait"]
PASSWORD = "stress pw"


def text(size):
    parts, n = [], 0
    while n < size:
        line = b" ".join(rng.choice(words) for _ in range(rng.randrange(3, 14))) + b"\n"
        parts.append(line)
        n += len(line)
    return b"".join(parts)


def put(folder, rel, data):
    path = os.path.join(src, folder, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def zip_folder(archive, folder, *opts):
    subprocess.run(["zip", "-q", "-X", "-r"] + list(opts) + [os.path.join(out, archive), "."],
                   cwd=os.path.join(src, folder), check=True)


# Large deflated entries among small ones.
for i in range(8):
    put("big", "big%d.txt" % i, text(rng.randrange(1 << 20, 5 << 19)))
for i in range(8):
    put("big", "docs/page%02d.txt" % i, text(rng.randrange(10, 4000)))
put("big", "empty.txt", b"")
zip_folder("big.zip", "big", "-9")

# Thousands of small entries, and names that differ only in letter case.
for i in range(3000):
    put("many", "f%d/%04d.txt" % (i % 7, i), text(rng.randrange(1, 300)))
put("many", "Case.txt", b"the first of two names\n")
put("many", "CASE.TXT", b"the second of two names\n")
zip_folder("many.zip", "many", "-6")

# Encrypted entries (the password goes into the pass: field), some large, and plain ones.
for i in range(3):
    put("secret", "locked%d.txt" % i, text(rng.randrange(200000, 1500000)))
for i in range(6):
    put("secret", "small/locked%d.txt" % i, text(rng.randrange(10, 2000)))
zip_folder("secret.zip", "secret", "-P", PASSWORD)
put("open", "open.txt", b"not encrypted\n")
subprocess.run(["zip", "-q", "-X", os.path.join(out, "secret.zip"), "open.txt"],
               cwd=os.path.join(src, "open"), check=True)

manifest = []
expected = os.path.join(out, "expected")
os.makedirs(expected)
for archive, password in (("big.zip", ""), ("many.zip", ""), ("secret.zip", PASSWORD)):
    unpacked = os.path.join(out, "unpacked", archive)
    os.makedirs(unpacked)
    cmd = ["unzip", "-q", "-o"] + (["-P", password] if password else []) + \
        [os.path.join(out, archive), "-d", unpacked]
    subprocess.run(cmd, check=True)
    with zipfile.ZipFile(os.path.join(out, archive)) as z:
        for info in z.infolist():
            if info.filename.endswith("/"):
                continue
            with open(os.path.join(unpacked, info.filename), "rb") as f:
                data = f.read()
            name = "e%05d.bin" % len(manifest)
            with open(os.path.join(expected, name), "wb") as f:
                f.write(data)
            listed = info.filename.replace("/", "\\").encode("ascii")
            manifest.append((archive, listed.hex(), name, password.encode().hex()))
with open(os.path.join(out, "manifest.tsv"), "w") as f:
    for row in manifest:
        f.write("\t".join(row) + "\n")
shutil.rmtree(src)
shutil.rmtree(os.path.join(out, "unpacked"))
