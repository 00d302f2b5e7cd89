#!/usr/bin/env bash
# Builds the viewer tests' archives with Info-ZIP zip and python3's zipfile into $1.
set -euo pipefail
out="$1"
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out/src"
cd "$out/src"
printf 'alpha line 1\nalpha line 2\n' > alpha.txt
printf 'Beta, with CR LF\r\nsecond\r\n' > Beta.txt
printf '<html><body><p>Gamma page</p></body></html>\n' > Gamma.html
printf 'delta' > delta.txt
mkdir -p sub
printf 'echo inside a folder\n' > sub/Echo.txt
zip -q -X ../plain.zip alpha.txt Beta.txt Gamma.html delta.txt sub sub/Echo.txt
cp ../plain.zip ../PLAIN-UPPER.ZIP
# Names with blanks reach the window through a quoted argument.
cp ../plain.zip "../with blanks.zip"
printf 'the only entry\n' > only.txt
zip -q -X ../one.zip only.txt
printf 'open text\n' > open.txt
printf 'the secret text\n' > secret.txt
# The tests' wrong passwords must fail the one-byte header check, which about one archive
# in 256 lets a given wrong password through: make the archive again until they all fail.
for _ in $(seq 1 100); do
  rm -f ../encrypted.zip
  zip -q -X ../encrypted.zip open.txt
  zip -q -X -P s3cret ../encrypted.zip secret.txt
  python3 "$here/../wrong_passwords.py" ../encrypted.zip && break
done
# WinZip AES-256 over LZMA, as 7-Zip writes it by default when asked for AES.
printf '<html><body><p>AES page</p></body></html>\n' > aes-page.html
for _ in $(seq 1 100); do
  rm -f ../aes.zip
  7z a -tzip -bd -mem=AES256 -mm=LZMA -ps3cret ../aes.zip aes-page.html >/dev/null
  python3 "$here/../wrong_passwords.py" ../aes.zip && break
done
mkdir -p d1/d2 d3
zip -q -X -r ../folders.zip d1 d3
python3 -c 'import zipfile,sys; zipfile.ZipFile(sys.argv[1], "w").close()' ../empty.zip
printf 'not an archive at all, just some text that is long enough to be read\n' > ../broken.zip
# Long extractions: one large deflated entry between two small ones (listed a.txt, big.txt,
# c.txt), so that commands sent meanwhile arrive while the library writes into the block.
python3 - <<'PY'
import random, zipfile
rng = random.Random(14)
words = [b"vellum", b"page", b"archive", b"entry", b"block", b"stream", b"window", b"click"]
lines = []
size = 0
while size < 5 * 1024 * 1024 // 2:
    line = b" ".join(rng.choice(words) for _ in range(rng.randrange(4, 16))) + b"\n"
    lines.append(line)
    size += len(line)
with zipfile.ZipFile("../long.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("a.txt", b"small entry a\n")
    z.writestr("big.txt", b"".join(lines))
    z.writestr("c.txt", b"small entry c\n")
# Exactly 65,535 entries: the count field is 0xFFFF and there are no Zip64 records.
with zipfile.ZipFile("../count65535.zip", "w", zipfile.ZIP_STORED) as z:
    for i in range(65535):
        z.writestr("n/%05d.txt" % i, b"entry %d\n" % i)
# Names that differ only in letter case, in this directory order.
with zipfile.ZipFile("../casepair.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Readme.txt", b"first in the directory\n")
    z.writestr("README.TXT", b"second in the directory\n")
# A short archive whose deflated entry claims 512 MiB: the size fields are patched in both
# headers after writing.
with zipfile.ZipFile("../claim.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("huge.txt", b"short\n")
data = bytearray(open("../claim.zip", "rb").read())
claim = (512 * 1024 * 1024).to_bytes(4, "little")
local = data.find(b"PK\x03\x04")
central = data.find(b"PK\x01\x02")
data[local + 22:local + 26] = claim
data[central + 24:central + 28] = claim
open("../claim.zip", "wb").write(bytes(data))
# A stored entry whose bytes were changed after writing: the library finds a CRC error that
# the component's own listing cannot see.
with zipfile.ZipFile("../badcrc.zip", "w", zipfile.ZIP_STORED) as z:
    z.writestr("good.txt", b"good bytes\n")
    z.writestr("spoilt.txt", b"these bytes will be changed\n")
data = bytearray(open("../badcrc.zip", "rb").read())
at = data.find(b"these bytes")
data[at] ^= 0x20
open("../badcrc.zip", "wb").write(bytes(data))
PY
# Pages for the built-in view: links between entries, a picture, an encrypted picture and an
# encrypted text, a missing picture.
mkdir -p pages/sub
cd pages
python3 - <<'PY'
import struct
def bmp(w, h, rgb):
    row = (w * 3 + 3) & ~3
    pixels = b"".join((bytes((rgb[2], rgb[1], rgb[0])) * w).ljust(row, b"\0") for _ in range(h))
    return (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)
open("pic.bmp", "wb").write(bmp(40, 30, (0, 160, 0)))
open("secret.bmp", "wb").write(bmp(40, 30, (160, 0, 0)))
filler = "".join(f"<p>Filler paragraph {i} to make the page longer than the window.</p>" for i in range(80))
open("index.html", "w").write(
    '<html><head><title>Pages</title></head><body><h1 id="top">Index</h1>'
    '<p><a href="sub/second.html#part">second</a> | <a href="http://example.com/x">outside</a>'
    ' | <a href="missing.html">missing</a> | <a href="#end">to the end</a></p>'
    '<p><img src="pic.bmp" alt="pic"> <img src="secret.bmp" alt="locked">'
    ' <img src="nothere.png" alt="absent"></p>' + filler + '<p id="end">The end</p></body></html>')
open("sub/second.html", "w").write(
    '<html><body><p>Second page</p>' + filler + '<p><a name="part">Part</a> '
    '<a href="../INDEX.HTML">back</a></p></body></html>')
PY
printf 'locked text\n' > locked.txt
for _ in $(seq 1 100); do
  rm -f ../../pages.zip
  zip -q -X ../../pages.zip index.html sub/second.html pic.bmp
  zip -q -X -P s3cret ../../pages.zip secret.bmp locked.txt
  python3 "$here/../wrong_passwords.py" ../../pages.zip && break
done
cd ..
