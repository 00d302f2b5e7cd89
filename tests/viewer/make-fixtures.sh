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
mkdir -p d1/d2 d3
zip -q -X -r ../folders.zip d1 d3
python3 -c 'import zipfile,sys; zipfile.ZipFile(sys.argv[1], "w").close()' ../empty.zip
printf 'not an archive at all, just some text that is long enough to be read\n' > ../broken.zip
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
