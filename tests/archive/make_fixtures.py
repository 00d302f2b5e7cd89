#!/usr/bin/env python3
"""Builds the archive component's fixture archives with real tools (Info-ZIP zip and unzip,
7z, python's zipfile) and records what unzip reports for them: manifest.txt lists, per
archive, its password and for every entry unzip -Z1 names, a file with the bytes unzip -p
gives. Usage: make_fixtures.py OUTDIR. Does nothing when OUTDIR/stamp exists."""
import os
import random
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wrong_passwords import make_until_wrong_passwords_fail  # noqa: E402

VERSION = "6"


def run(args, cwd=None, stdin=None):
    subprocess.run(args, cwd=cwd, check=True, input=stdin,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def unzip(args):
    # unzip exits with 1 after warnings (such as a self-extractor's prefix): still a result.
    result = subprocess.run(["unzip"] + args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if result.returncode not in (0, 1):
        raise SystemExit("unzip %s failed with %d" % (" ".join(args), result.returncode))
    return result.stdout


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def text_block(rng, size):
    words = [b"vellum", b"page", b"archive", b"<p>", b"index", b"\r\n", b"entry", b"zip"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b" "
    return bytes(out[:size])


def main():
    out = os.path.abspath(sys.argv[1])
    stamp = os.path.join(out, "stamp")
    if os.path.exists(stamp) and open(stamp).read() == VERSION:
        return
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    rng = random.Random(1234)
    tree = os.path.join(out, "tree")
    write(os.path.join(tree, "readme.txt"), b"Read me first.\r\n")
    write(os.path.join(tree, "docs/index.html"), b"<html><body><p>Index</p></body></html>")
    write(os.path.join(tree, "docs/sub/page.htm"), text_block(rng, 5000))
    write(os.path.join(tree, "empty.txt"), b"")
    write(os.path.join(tree, "big.txt"), text_block(rng, 1 << 20))
    write(os.path.join(tree, "noise.bin"), bytes(rng.getrandbits(8) for _ in range(140000)))
    os.makedirs(os.path.join(tree, "emptydir"), exist_ok=True)
    items = ["readme.txt", "docs", "empty.txt", "big.txt", "noise.bin", "emptydir"]
    archives = []  # (file name, password[, archive whose unzip output stands for it])

    run(["zip", "-q", "-r", "-X", os.path.join(out, "plain.zip")] + items, cwd=tree)
    archives.append(("plain.zip", ""))
    run(["zip", "-q", "-r", "-0", "-X", os.path.join(out, "stored.zip")] + items, cwd=tree)
    archives.append(("stored.zip", ""))
    make_until_wrong_passwords_fail(
        os.path.join(out, "pass.zip"),
        lambda: run(["zip", "-q", "-r", "-X", "-P", "secret", os.path.join(out, "pass.zip"),
                     "readme.txt", "docs", "big.txt"], cwd=tree))
    archives.append(("pass.zip", "secret"))
    run(["7z", "a", "-tzip", "-bd", os.path.join(out, "sevenz.zip")] + items, cwd=tree)
    archives.append(("sevenz.zip", ""))
    # WinZip AES over LZMA; the same files zipped by 7z without either (same order) give
    # the expected output, since unzip reads neither.
    aes_items = ["readme.txt", "docs", "big.txt"]
    run(["7z", "a", "-tzip", "-bd", "-mem=AES256", "-mm=LZMA", "-psecret",
         os.path.join(out, "aes.zip")] + aes_items, cwd=tree)
    run(["7z", "a", "-tzip", "-bd", os.path.join(out, "aes_plain.zip")] + aes_items, cwd=tree)
    archives.append(("aes.zip", "secret", "aes_plain.zip"))

    with zipfile.ZipFile(os.path.join(out, "python.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.comment = b"archive comment from zipfile"
        z.writestr("caf\u00e9/na\u00efve.txt", b"utf-8 names")
        z.writestr("stored.txt", b"stored bytes", compress_type=zipfile.ZIP_STORED)
        z.writestr("deflated.html", text_block(rng, 20000))
        z.writestr("zero.txt", b"")
    archives.append(("python.zip", ""))
    with zipfile.ZipFile(os.path.join(out, "comment64k.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.comment = b"C" * 65535
        z.writestr("one.txt", b"one")
    archives.append(("comment64k.zip", ""))
    with zipfile.ZipFile(os.path.join(out, "case.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Readme.TXT", b"first in directory order")
        z.writestr("readme.txt", b"second in directory order")
    archives.append(("case.zip", ""))

    plain = open(os.path.join(out, "plain.zip"), "rb").read()
    stub = b"MZ" + bytes(rng.getrandbits(8) for _ in range(4094))
    write(os.path.join(out, "sfx_unadjusted.exe"), stub + plain)
    archives.append(("sfx_unadjusted.exe", ""))
    write(os.path.join(out, "sfx_adjusted.exe"), stub + plain)
    run(["zip", "-q", "-A", os.path.join(out, "sfx_adjusted.exe")])
    archives.append(("sfx_adjusted.exe", ""))
    pad = (512 - len(plain) % 512) % 512 or 511
    if (len(plain) + pad) % 512:
        raise SystemExit("plain.zip needs a size that is not a multiple of 512")
    write(os.path.join(out, "padded.zip"), plain + b"\0" * pad)
    archives.append(("padded.zip", ""))
    write(os.path.join(out, "garbage.zip"), plain + b"trailing junk")
    archives.append(("garbage.zip", ""))
    write(os.path.join(out, "notzip.zip"), b"This is a text file, not an archive.\r\n" * 10)

    # A split set renamed to the numbered volume naming: span001.zip is volume 0.
    split = os.path.join(out, "split")
    os.makedirs(split)
    # Sized so that the central directory starts on the middle volume and runs on into the last.
    write(os.path.join(tree, "span/noise.bin"), bytes(rng.getrandbits(8) for _ in range(124000)))
    span_names = ["noise.bin"] + ["item_%02d_%s.txt" % (i, "x" * 50) for i in range(60)]
    for name in span_names[1:]:
        write(os.path.join(tree, "span", name), b"%d" % len(name))
    run(["zip", "-q", "-s", "64k", "-X", os.path.join(split, "sp.zip")] + span_names,
        cwd=os.path.join(tree, "span"))
    parts = sorted(p for p in os.listdir(split) if p.startswith("sp.z") and p != "sp.zip")
    for i, part in enumerate(parts):
        os.rename(os.path.join(split, part), os.path.join(out, "span%03d.zip" % (i + 1)))
    last = "span%03d.zip" % (len(parts) + 1)
    os.rename(os.path.join(split, "sp.zip"), os.path.join(out, last))
    # unzip reads no split sets: the same files zipped whole give the expected output.
    run(["zip", "-q", "-X", os.path.join(out, "span_whole.zip")] + span_names,
        cwd=os.path.join(tree, "span"))
    archives.append((last, "", "span_whole.zip"))
    with open(os.path.join(out, "span_last.txt"), "w") as f:
        f.write(last + "\n")

    # 100,000 entries: Info-ZIP writes a Zip64 end record.
    many = os.path.join(out, "many")
    os.makedirs(many)
    for i in range(100000):
        open(os.path.join(many, "f%06d.txt" % i), "wb").close()
    names = "\n".join(sorted(os.listdir(many))).encode() + b"\n"
    run(["zip", "-q", "-0", "-X", os.path.join(out, "many.zip"), "-@"], cwd=many, stdin=names)
    shutil.rmtree(many)
    listing = unzip(["-Z1", os.path.join(out, "many.zip")])
    write(os.path.join(out, "many.list"), listing)

    # What unzip reports: listings and the bytes of every entry.
    manifest = []
    expected = os.path.join(out, "expected")
    for index, row in enumerate(archives):
        name, password = row[0], row[1]
        source = os.path.join(out, row[2] if len(row) > 2 else name)
        names = unzip(["-Z1", source]).decode("utf-8").splitlines()
        manifest.append("archive\t%s\t%s" % (name, password))
        for n, entry in enumerate(names):
            if entry.endswith("/"):
                manifest.append("folder\t%s" % entry)
                continue
            pattern = entry.replace("[", "[[]")
            data = unzip(["-p"] + (["-P", password] if password else []) + [source, pattern])
            target = "expected/%d_%d.bin" % (index, n)
            write(os.path.join(out, target), data)
            manifest.append("entry\t%s\t%s" % (entry, target))
    with open(os.path.join(out, "manifest.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(manifest) + "\n")
    shutil.rmtree(tree)
    shutil.rmtree(split)
    with open(stamp, "w") as f:
        f.write(VERSION)


if __name__ == "__main__":
    main()
