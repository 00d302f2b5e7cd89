#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, made from the same kinds of fixtures the tests use.

usage: make_seeds.py OUTDIR HOLLIN_PACK

OUTDIR/<target>/ gets one file per seed: ZIP archives from Info-ZIP zip, 7z and python3
zipfile (plain, deflated, encrypted, Zip64, comments, data descriptors, prefixed), install
packages packed by hollin-pack (without their stub), HTML snippets and manifests.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
MARKER = b"HollinPkgOffset="


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def run(args, cwd, stdin=None):
    subprocess.run(args, cwd=cwd, input=stdin, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def have(tool):
    return shutil.which(tool) is not None


def sample_files(work):
    texts = {
        "index.html": b"<html><head><title>T</title></head><body><p>Hello &amp; welcome"
                      b" &copy; 2026</p></body></html>\r\n" * 3,
        "readme.txt": b"Plain text line one.\r\nLine two.\r\n" * 8,
        "docs/help.htm": b"<h1>Help</h1>\n&lt;none&gt;\n",
        "empty.txt": b"",
        "bin.dat": bytes((i * 37 + 11) & 0xFF for i in range(700)),
    }
    for name, data in texts.items():
        path = os.path.join(work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return texts


def with_end_fields(archive, count=None, offset=None):
    """The same archive with the end record's entry counts or directory offset replaced."""
    at = archive.rfind(struct.pack("<I", 0x06054B50))
    fields = list(struct.unpack("<IHHHHIIH", archive[at:at + 22]))
    if count is not None:
        fields[3] = fields[4] = count
    if offset is not None:
        fields[6] = offset
    return archive[:at] + struct.pack("<IHHHHIIH", *fields) + archive[at + 22:]


def with_claimed_size(archive, size):
    """The same archive with the first entry's uncompressed size set to `size` in both headers."""
    data = bytearray(archive)
    local = data.find(b"PK\x03\x04")
    central = data.find(b"PK\x01\x02")
    data[local + 22:local + 26] = struct.pack("<I", size)
    data[central + 24:central + 28] = struct.pack("<I", size)
    return bytes(data)


def with_zip64_end(archive):
    """The same archive with its end record saturated and a Zip64 end record and locator."""
    at = archive.rfind(struct.pack("<I", 0x06054B50))
    (_, _, _, on_disk, total, size, offset, _) = struct.unpack("<IHHHHIIH", archive[at:at + 22])
    body = archive[:at]
    zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, on_disk, total, size, offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, len(body), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                      0xFFFFFFFF, 0xFFFFFFFF, 0)
    return body + zip64_end + locator + end


def zip_seeds(out, work):
    texts = sample_files(work)
    names = sorted(texts)
    seeds = {}
    tmp = os.path.join(work, "z")
    os.makedirs(tmp)

    def tool_zip(name, args, stdin=None):
        path = os.path.join(tmp, name)
        run(args + [path] + ([] if stdin is not None else names), work, stdin)
        with open(path, "rb") as f:
            seeds[name] = f.read()

    if have("zip"):
        tool_zip("infozip-deflated.zip", ["zip", "-q", "-X", "-r"])
        tool_zip("infozip-stored.zip", ["zip", "-q", "-X", "-0"])
        tool_zip("infozip-encrypted.zip", ["zip", "-q", "-X", "-P", "secret"])
        tool_zip("infozip-encrypted-stored.zip", ["zip", "-q", "-X", "-0", "-P", "secret"])
        path = os.path.join(tmp, "infozip-comment.zip")
        run(["zip", "-q", "-X", "-z", path, "readme.txt"], work, b"An archive comment\n.\n")
        seeds["infozip-comment.zip"] = open(path, "rb").read()
        # Written to a pipe: data descriptors after every entry.
        streamed = subprocess.run(["zip", "-q", "-X", "-", "readme.txt", "index.html"], cwd=work,
                                  check=True, stdout=subprocess.PIPE).stdout
        seeds["infozip-streamed.zip"] = streamed
        # A self-extractor: a stub in front, offsets adjusted by zip -A and not adjusted.
        stub = b"MZ" + bytes(510)
        seeds["prefix-unadjusted.exe"] = stub + seeds["infozip-deflated.zip"]
        path = os.path.join(tmp, "sfx.exe")
        with open(path, "wb") as f:
            f.write(stub + seeds["infozip-stored.zip"])
        run(["zip", "-q", "-A", path], work)
        seeds["prefix-adjusted.exe"] = open(path, "rb").read()
    if have("7z"):
        for name, extra in (("7z-deflate.zip", []), ("7z-zipcrypto.zip", ["-psecret"]),
                            ("7z-deflate64.zip", ["-mm=Deflate64"]), ("7z-bzip2.zip", ["-mm=BZip2"]),
                            ("7z-lzma.zip", ["-mm=LZMA"]), ("7z-lzma-no-eos.zip", ["-mm=LZMA:eos=off"]),
                            ("7z-aes256.zip", ["-mem=AES256", "-psecret"]),
                            ("7z-aes128-lzma.zip", ["-mem=AES128", "-mm=LZMA", "-psecret"]),
                            ("7z-aes192-bzip2.zip", ["-mem=AES192", "-mm=BZip2", "-psecret"])):
            path = os.path.join(tmp, name)
            run(["7z", "a", "-tzip", "-bd", "-y"] + extra + [path] + names, work)
            seeds[name] = open(path, "rb").read()

    def py_zip(name, force_zip64=False, method=zipfile.ZIP_DEFLATED, comment=b"", extra_names=()):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            z.comment = comment
            for n in names:
                info = zipfile.ZipInfo(n, (2026, 12, 10, 5, 30, 0))
                info.compress_type = method
                with z.open(info, "w", force_zip64=force_zip64) as f:
                    f.write(texts[n])
            for n, data in extra_names:
                info = zipfile.ZipInfo(n)
                info.compress_type = method
                z.writestr(info, data)
        seeds[name] = buf.getvalue()

    py_zip("python-deflated.zip")
    py_zip("python-bzip2.zip", method=zipfile.ZIP_BZIP2)
    py_zip("python-lzma.zip", method=zipfile.ZIP_LZMA)
    py_zip("python-stored.zip", method=zipfile.ZIP_STORED, comment=b"python comment")
    py_zip("python-zip64.zip", force_zip64=True)
    py_zip("python-utf8.zip", extra_names=(("caf\u00e9/\u00fcber.txt", b"utf-8 name"),
                                           ("folder/", b"")))
    seeds["zip64-end-record.zip"] = with_zip64_end(seeds["python-stored.zip"])
    # The first file of a volume set starts with the spanning signature.
    seeds["span-marker.zip"] = struct.pack("<I", 0x08074B50) + seeds["python-stored.zip"]
    # An archive with no entries: just the end record.
    seeds["empty.zip"] = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0)
    # All-ones fields without any Zip64 record mean what they say. A real archive of 65,535
    # entries (the test fixtures have one) is far longer than the fuzzers' inputs; these keep
    # its shape: the directory offset field all ones, and the count all ones over a directory
    # too short for it.
    seeds["offset-ffffffff-no-zip64.zip"] = with_end_fields(seeds["python-stored.zip"], offset=0xFFFFFFFF)
    seeds["count-ffff-no-zip64.zip"] = with_end_fields(seeds["python-stored.zip"], count=0xFFFF)
    # Names that differ only in letter case.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Readme.txt", b"first in the directory\n")
        z.writestr("README.TXT", b"second in the directory\n")
    seeds["case-pair.zip"] = buf.getvalue()
    # A short entry whose size fields claim 512 MiB (deflated) and a stored one claiming more
    # than its bytes.
    seeds["claims-512mib.zip"] = with_claimed_size(seeds["python-deflated.zip"], 512 << 20)
    seeds["stored-claims-more.zip"] = with_claimed_size(seeds["python-stored.zip"], 1 << 20)
    for name, data in seeds.items():
        write(os.path.join(out, "zip_directory"), name, data)
        write(os.path.join(out, "unzip"), name, data)
    method_seeds(out, seeds)


def method_seeds(out, seeds):
    """fuzz_methods: each unencrypted entry's compressed bytes behind a byte naming the
    method (the target's table: Deflate64, bzip2, LZMA, deflate, stored) and three bytes
    of declared size."""
    selector = {9: 0, 12: 1, 14: 2, 8: 3, 0: 4}
    for name, data in seeds.items():
        try:
            infos = zipfile.ZipFile(io.BytesIO(data)).infolist()
        except (zipfile.BadZipFile, ValueError, NotImplementedError):
            continue
        for k, info in enumerate(infos):
            if info.compress_type not in selector or info.flag_bits & 1 or info.compress_size == 0:
                continue
            at = info.header_offset
            # The crafted seeds (all-ones offsets, claimed sizes) put headers anywhere.
            if at < 0 or at + 30 > len(data):
                continue
            name_len, extra_len = struct.unpack_from("<HH", data, at + 26)
            start = at + 30 + name_len + extra_len
            body = data[start:start + info.compress_size]
            head = bytes([selector[info.compress_type]]) + struct.pack("<I", info.file_size)[:3]
            write(os.path.join(out, "methods"), "%s-%d" % (name, k), head + body)
    write(os.path.join(out, "methods"), "deflate64-long-far", deflate64_long_far())


def deflate64_long_far():
    """What only Deflate64 has, in fixed codes: "A", a 65,538-byte match at distance 1
    (length code 285, 16 extra bits), "B", then matches 32,774 and 49,160 back (distance
    codes 30 and 31); behind the method byte and the size (65,546)."""
    bits = []

    def value(v, n):
        bits.extend((v >> i) & 1 for i in range(n))

    def code(c, n):
        bits.extend((c >> i) & 1 for i in reversed(range(n)))

    def literal(sym):
        if sym < 144:
            code(0x30 + sym, 8)
        elif sym < 256:
            code(0x190 + sym - 144, 9)
        elif sym < 280:
            code(sym - 256, 7)
        else:
            code(0xC0 + sym - 280, 8)

    value(1, 1)
    value(1, 2)
    literal(ord("A"))
    literal(285)
    value(0xFFFF, 16)
    code(0, 5)
    literal(ord("B"))
    literal(257)
    code(30, 5)
    value(5, 14)
    literal(258)
    code(31, 5)
    value(7, 14)
    literal(256)
    data = bytearray()
    for i in range(0, len(bits), 8):
        data.append(sum(b << k for k, b in enumerate(bits[i:i + 8])))
    return bytes([0]) + struct.pack("<I", 65539 + 1 + 3 + 4)[:3] + bytes(data)


MANIFESTS = {
    "minimal.ini": """[package]
display_name = Tiny
maker_notice = Maker
[files]
readme.txt
""",
    "full.ini": """# every record
[package]
title_colour = clyellow
gradient_red = 999
gradient_green = " 12"
gradient_blue = 128
option_byte_5 = 7
self_check = no
silent_failure = yes
option_byte_8 = 255
reserved_string = reserved
registry_import = yes
uninstall_key = FuzzProduct
licence_file = licence.txt
display_name = Fuzz Product 1.0
maker_notice = Fuzz makers
default_folder = Fuzz
no_view = no

[files]
readme.txt
index.html
docs\\help.htm = docs/help.htm
settings.reg
empty.txt

[register]
file = index.html
file = readme.txt

[run]
program = readme.txt
parameters = /quiet

[autorun]
program = index.html

[exe_verb]
verb = Open with Fuzz
exe_only = yes
extra = --fuzz
program = readme.txt

[anyfile_verb]
verb = Fuzz
program = readme.txt

[folder_verb]
verb = FuzzFolder
extra = here
program = readme.txt

[file_type]
extension = .fuz
description = Fuzz file
program = readme.txt

[registry_removal]
root = 1
key = Software\\Fuzz

[registry_removal]
root = 2
key = Software\\Classes\\.fuz

[desktop_shortcut]
link = Fuzz
program = readme.txt

[program_group]
kind = start_menu
name = Fuzz Group
link = Read me | readme.txt
link = Index | index.html

[file_removal]
folder = install
name = settings.ini

[file_removal]
folder = windows
name = fuzz.ini
""",
    "shipped.ini": None,  # product/vellumo.manifest
}


def package_seeds(out, work, hollin_pack):
    root = os.path.join(work, "pkg")
    os.makedirs(os.path.join(root, "docs"))
    files = {
        "readme.txt": b"Read me first.\r\n" * 20,
        "index.html": b"<html><body><b>Fuzz</b> &amp; friends</body></html>",
        "docs/help.htm": b"<p>help</p>",
        "settings.reg": b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Fuzz]\r\n\"a\"=\"b\"\r\n",
        "empty.txt": b"",
        "licence.txt": b"You may fuzz this.\r\n",
        "license.txt": b"Shipped licence.\r\n",
        "help.txt": b"Shipped help.\r\n",
        "VUnzip.dll": b"MZ" + bytes(300),
        "Vellumo.exe": b"MZ" + bytes((i * 7) & 0xFF for i in range(900)),
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    stub = bytearray((i * 13 + 1) & 0xFF for i in range(128))
    stub[100:116] = MARKER
    stub[116:120] = struct.pack("<I", len(stub))
    stub_path = os.path.join(work, "stub.exe")
    with open(stub_path, "wb") as f:
        f.write(stub)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    for name, text in MANIFESTS.items():
        if text is None:
            text = open(os.path.join(SOURCE, "product", "vellumo.manifest")).read()
        manifest = os.path.join(root, name)
        with open(manifest, "w") as f:
            f.write(text)
        write(os.path.join(out, "manifest"), name, text.encode())
        output = os.path.join(work, name + ".exe")
        subprocess.run([hollin_pack, "--stub", stub_path, "--manifest", manifest, "--root", root,
                        "--output", output, "--jobs", "1", "--quiet"], check=True, env=env)
        with open(output, "rb") as f:
            write(os.path.join(out, "package"), name + ".pkg", f.read()[len(stub):])
    for name, text in (("crlf.ini", "[package]\r\ndisplay_name=A\r\n[files]\r\nx = y\r\n"),
                       ("bad-section.ini", "[package\nkey\n"),
                       ("quoted.ini", '[package]\nmaker_notice = "  spaced  "\n')):
        write(os.path.join(out, "manifest"), name, text.encode())


HTML = [
    b"<html><head><title>Title</title></head><body><p>Text</p></body></html>",
    b"&lt;tag&gt; &amp; &copy; &quot;quoted&quot; &nbsp;end",
    b"&LT;&GT;&AMP;&COPY;&QUOT;&NBSP;&Nbsp;",
    b"a < b > c <unclosed",
    b"text & more &x &c &cop &amp",
    b"before\x00<after>&amp;",
    b"<a href='x'>link</a>\r\n<br>\r\nline\r\n",
    b"&&&&lt;;&;",
]


def sized_record_seeds(out):
    """The package target's second shape: records given by their sizes (see fuzz_package.cpp),
    among them the crafted packages that once aborted Hollin."""
    seeds = {
        "list-of-line-ends.pkg": (0, 0, 8 << 20, b"\r\n"),        # 8M lines of nothing
        "register-list-lines.pkg": (1, 0, 2 << 20, b"a.dll\r\n"),
        "licence-zeros-4gb.pkg": (2, 0xFFFFFFFF, 12 << 20, b"\0"),  # a few MB claiming 4 GB
        "uninstaller-list.pkg": (3, 0, 4 << 20, b"\n\r"),
        "real-list.pkg": (0, 0, 1, b"a.txt|0123ABCD42\r\nb.txt|0123ABCD7\r\n"),
    }
    for name, (kind, claimed, repeat, unit) in seeds.items():
        write(os.path.join(out, "package"), name,
              b"HSZ" + bytes([kind]) + struct.pack("<II", claimed, repeat) + unit)


PAGES = [
    b"\x01<html><head><title>t</title><meta charset=utf-8></head><body><h1 id=a>H</h1>"
    b"<p>x <b>b</b> <i>i</i> <a href='../b.html?q#f'>l</a> <img src=p.png alt=y></p>"
    b"<ul><li>1<ol start=3><li>2</ol></ul><pre>\r\n a\tb</pre><table><tr><td>c<td>d</table>"
    b"<hr>&eacute;&#x4E2D;&#128;</body></html>",
    b"\x03<meta http-equiv=Content-Type content='text/html; charset=gb2312'><p>\xd6\xd0",
    b"\x02<a href=http://x>o</a><a name=n></a><!-- c --><script>s</script>&amp<br><a href=#n>",
    b"\xef\xbb\xbf<p>\xc3\xa9</p>",
    b"\xff\xfe<\x00p\x00>\x00x\x00",
    b"\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\xff\xff\x00\x00\xff\xff",
]


def html_seeds(out):
    for i, data in enumerate(HTML):
        write(os.path.join(out, "html_to_text"), "snippet%02d.html" % i, data)
    for i, data in enumerate(PAGES):
        write(os.path.join(out, "page_view"), "page%02d.html" % i, data)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    out, hollin_pack = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        zips = os.path.join(work, "zips")
        os.makedirs(zips)
        zip_seeds(out, zips)
        package_seeds(out, work, hollin_pack)
    sized_record_seeds(out)
    html_seeds(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
