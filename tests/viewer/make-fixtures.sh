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
