#!/usr/bin/env python3
"""Builds the unzip test archives with real tools (Info-ZIP zip, 7z, python3 zipfile)
and records, for every entry worth checking, the bytes `unzip -p` gives for it.

manifest.tsv: archive, listed name (hex, ANSI as the viewer lists it), expected bytes
file, password (hex, may be empty). One line per entry."""
import os
import random
import shutil
import subprocess
import struct
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from wrong_passwords import make_until_wrong_passwords_fail  # noqa: E402

out = os.path.abspath(sys.argv[1])
work = os.path.join(out, "src")
shutil.rmtree(out, ignore_errors=True)
os.makedirs(work)
expected_dir = os.path.join(out, "expected")
os.makedirs(expected_dir)
rng = random.Random(1234)
manifest = []


def write(rel, data):
    path = os.path.join(work, rel)
    os.makedirs(os.path.dirname(path) or work, exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


text = b"".join(b"Line %d of a page that compresses well.\r\n" % i for i in range(4000))
write("page.html", b"<html><body>" + text[:5000] + b"</body></html>")
write("empty.txt", b"")
write("random.bin", bytes(rng.getrandbits(8) for _ in range(300000)))
write("docs/readme.txt", text)
write("docs/deep/Mixed Case.TXT", b"mixed case name\n")
big = bytearray()
while len(big) < 3 * 1024 * 1024:
    big += text[: rng.randrange(100, 4000)] + bytes(rng.getrandbits(8) for _ in range(200))
write("big.dat", bytes(big))
files = ["page.html", "empty.txt", "random.bin", "docs/readme.txt", "docs/deep/Mixed Case.TXT", "big.dat"]


def run(cmd, **kw):
    subprocess.run(cmd, cwd=work, check=True, stdout=subprocess.DEVNULL, **kw)


def expect(archive, stored_name, listed=None, password=""):
    """Asks unzip for the entry's bytes; stored_name is the name as stored in the archive."""
    listed = listed if listed is not None else stored_name.replace("/", "\\").encode("latin-1")
    cmd = ["unzip", "-p"]
    if password:
        cmd += ["-P", password]
    # unzip treats [ ] * ? as wildcards: escape them so only this entry matches.
    pattern = "".join("\\" + c if c in "[]*?" else c for c in stored_name)
    done = subprocess.run(cmd + [os.path.join(out, archive), pattern],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if done.returncode not in (0, 1):  # 1: a warning, such as bytes before the ZIP data
        raise SystemExit("unzip -p failed for %s in %s" % (stored_name, archive))
    data = done.stdout
    name = "e%04d.bin" % len(manifest)
    with open(os.path.join(expected_dir, name), "wb") as f:
        f.write(data)
    manifest.append((archive, listed.hex(), name, password.encode().hex()))


def expect_all(archive, names=files, password=""):
    for n in names:
        expect(archive, n, password=password)


def zip_tool(archive, *opts, names=files):
    path = os.path.join(out, archive)
    run(["zip", "-q", "-X"] + list(opts) + [path] + names)
    return path


# Info-ZIP: stored, deflated (with folder entries), passwords stored and deflated.
zip_tool("stored.zip", "-0")
expect_all("stored.zip")
run(["zip", "-q", "-X", "-r", "-9", os.path.join(out, "deflated.zip")] + ["page.html", "empty.txt", "random.bin", "docs", "big.dat"])
expect_all("deflated.zip")
make_until_wrong_passwords_fail(os.path.join(out, "password.zip"),
                                lambda: zip_tool("password.zip", "-9", "-P", "secret"))
expect_all("password.zip", password="secret")
make_until_wrong_passwords_fail(os.path.join(out, "password_stored.zip"),
                                lambda: zip_tool("password_stored.zip", "-0", "-P", "secret"))
expect_all("password_stored.zip", password="secret")

# Streamed through a pipe: sizes and CRC in data descriptors (bit 3), also encrypted,
# where the header check byte comes from the time field.
def zip_to_pipe(archive, opts):
    with open(os.path.join(out, archive), "wb") as f:
        p = subprocess.Popen(["zip", "-q", "-X"] + opts + ["-"] + files, cwd=work, stdout=subprocess.PIPE)
        shutil.copyfileobj(p.stdout, f)
        if p.wait() != 0:
            raise SystemExit("zip - failed")


for archive, opts in (("streamed.zip", []), ("streamed_password.zip", ["-P", "Pass Word"])):
    make_until_wrong_passwords_fail(os.path.join(out, archive), lambda: zip_to_pipe(archive, opts))
    expect_all(archive, password="Pass Word" if opts else "")

# Self-extractor shapes: a stub in front, offsets adjusted by zip -A, and not adjusted.
stub = b"MZ" + bytes(rng.getrandbits(8) for _ in range(7000))
with open(os.path.join(out, "sfx_unadjusted.exe"), "wb") as f:
    f.write(stub + open(os.path.join(out, "deflated.zip"), "rb").read())
expect_all("sfx_unadjusted.exe", names=["page.html", "docs/readme.txt"])
shutil.copy(os.path.join(out, "sfx_unadjusted.exe"), os.path.join(out, "sfx_adjusted.exe"))
subprocess.run(["zip", "-q", "-A", os.path.join(out, "sfx_adjusted.exe")], check=True)
expect_all("sfx_adjusted.exe", names=["page.html", "docs/readme.txt"])

# 7-Zip: deflate, store, ZipCrypto.
for archive, opts in (("7z_deflate.zip", ["-mx9"]), ("7z_stored.zip", ["-mx0"]),
                      ("7z_zipcrypto.zip", ["-mem=ZipCrypto", "-psecret"])):
    make_until_wrong_passwords_fail(
        os.path.join(out, archive),
        lambda: run(["7z", "a", "-tzip", "-bd"] + opts + [os.path.join(out, archive)] + files))
    expect_all(archive, password="secret" if "ZipCrypto" in " ".join(opts) else "")

# python3 zipfile: UTF-8 names (flag bit 11), a 65,535-byte comment, data descriptors
# written to a stream that cannot seek.
with zipfile.ZipFile(os.path.join(out, "utf8.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("café.txt", b"coffee\n" * 50)
    z.writestr("Ünïcode/naïve.txt", b"naive\n" * 70)
    z.comment = b"c" * 65535
expect("utf8.zip", "café.txt", listed="café.txt".encode("cp1252"))
expect("utf8.zip", "Ünïcode/naïve.txt", listed="Ünïcode\\naïve.txt".encode("cp1252"))


class Unseekable:
    def __init__(self, f):
        self.f = f

    def write(self, b):
        return self.f.write(b)

    def flush(self):
        self.f.flush()


with open(os.path.join(out, "python_stream.zip"), "wb") as raw:
    with zipfile.ZipFile(Unseekable(raw), "w", zipfile.ZIP_DEFLATED) as z:
        for n in files:
            z.write(os.path.join(work, n), n)
expect_all("python_stream.zip")

# Zip64: more than 65,535 entries.
count = 70000
with zipfile.ZipFile(os.path.join(out, "zip64_many.zip"), "w", zipfile.ZIP_STORED) as z:
    for i in range(count):
        z.writestr("f/%05d.txt" % i, b"%d\n" % i)
for i in (0, 12345, 65535, 65536, count - 1):
    expect("zip64_many.zip", "f/%05d.txt" % i)

# Exactly 65,535 entries: zipfile writes the count 0xFFFF and no Zip64 records at all.
count = 65535
with zipfile.ZipFile(os.path.join(out, "count_65535.zip"), "w", zipfile.ZIP_STORED) as z:
    for i in range(count):
        z.writestr("n/%05d.txt" % i, b"%d\n" % i)
for i in (0, 40000, count - 1):
    expect("count_65535.zip", "n/%05d.txt" % i)

# Two names that differ only in letter case, in this directory order.
with zipfile.ZipFile(os.path.join(out, "case_pair.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Readme.txt", b"first in the directory\n")
    z.writestr("README.TXT", b"second in the directory\n")
expect("case_pair.zip", "Readme.txt")

def expect_7z(archive, stored_name, password=""):
    """The entry's bytes as `7z x` gives them (unzip reads none of the newer methods)."""
    listed = stored_name.replace("/", "\\").encode("latin-1")
    dest = os.path.join(out, "x7z")
    shutil.rmtree(dest, ignore_errors=True)
    subprocess.run(["7z", "x", "-y", "-bd", "-o" + dest, "-p" + password,
                    os.path.join(out, archive), stored_name],
                   check=True, stdout=subprocess.DEVNULL)
    name = "e%04d.bin" % len(manifest)
    shutil.move(os.path.join(dest, stored_name), os.path.join(expected_dir, name))
    shutil.rmtree(dest)
    manifest.append((archive, listed.hex(), name, password.encode().hex()))


def seven_zip(archive, *opts, names=files):
    path = os.path.join(out, archive)
    run(["7z", "a", "-tzip", "-bd"] + list(opts) + [path] + names)
    return path


def as_ae1(archive, source):
    """A copy of a 7-Zip AES archive (AE-2: CRC 0) turned into AE-1: version 1 in every
    0x9901 field and the real CRC in the local and central headers."""
    data = bytearray(open(os.path.join(out, source), "rb").read())
    crcs = {i.filename: zipfile.crc32(open(os.path.join(work, i.filename), "rb").read()) & 0xFFFFFFFF
            for i in zipfile.ZipFile(os.path.join(out, source)).infolist() if not i.is_dir()}

    pos = 0
    while True:
        local = data.find(b"PK\x03\x04", pos)
        central = data.find(b"PK\x01\x02", pos)
        hits = [h for h in (local, central) if h >= 0]
        if not hits:
            break
        at = min(hits)
        if at == local:
            name_len, extra_len = struct.unpack_from("<HH", data, at + 26)
            head, crc_at = 30, at + 14
        else:
            name_len, extra_len = struct.unpack_from("<HH", data, at + 28)
            head, crc_at = 46, at + 16
        name = bytes(data[at + head:at + head + name_len]).decode("latin-1")
        extra_at = at + head + name_len
        e = extra_at
        while e + 4 <= extra_at + extra_len:
            fid, size = struct.unpack_from("<HH", data, e)
            if fid == 0x9901:
                struct.pack_into("<H", data, e + 4, 1)
            e += 4 + size
        if name in crcs:
            struct.pack_into("<I", data, crc_at, crcs[name])
        pos = at + 4
    with open(os.path.join(out, archive), "wb") as f:
        f.write(data)


# The newer methods: 7-Zip (Deflate64, bzip2, LZMA with and without its end marker),
# python3 zipfile (bzip2, LZMA), Info-ZIP zip (bzip2).
for archive, opts in (("7z_deflate64.zip", ["-mm=Deflate64", "-mx9"]),
                      ("7z_bzip2.zip", ["-mm=BZip2"]),
                      ("7z_lzma.zip", ["-mm=LZMA"]),
                      ("7z_lzma_no_eos.zip", ["-mm=LZMA:eos=off"])):
    seven_zip(archive, *opts)
    for n in files:
        expect_7z(archive, n)
for archive, method in (("python_bzip2.zip", zipfile.ZIP_BZIP2), ("python_lzma.zip", zipfile.ZIP_LZMA)):
    with zipfile.ZipFile(os.path.join(out, archive), "w", method) as z:
        for n in files:
            z.write(os.path.join(work, n), n)
    for n in files:
        expect_7z(archive, n)
zip_tool("zip_bzip2.zip", "-Z", "bzip2")
for n in files:
    expect_7z("zip_bzip2.zip", n)

# WinZip AES from 7-Zip (AE-2), 128, 192 and 256-bit keys over deflate and LZMA; one
# archive turned into AE-1, where the CRC is checked as well. None lets a wrong password
# of the tests through its verifier.
for bits in (128, 192, 256):
    for method in ("Deflate", "LZMA"):
        archive = "7z_aes%d_%s.zip" % (bits, method.lower())
        make_until_wrong_passwords_fail(
            os.path.join(out, archive),
            lambda: seven_zip(archive, "-mem=AES%d" % bits, "-mm=" + method, "-psecret"))
        for n in files:
            expect_7z(archive, n, password="secret")
as_ae1("7z_ae1.zip", "7z_aes256_deflate.zip")
for n in files:
    expect_7z("7z_ae1.zip", n, password="secret")

with open(os.path.join(out, "manifest.tsv"), "w") as f:
    for row in manifest:
        f.write("\t".join(row) + "\n")
shutil.rmtree(work)
