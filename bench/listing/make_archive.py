#!/usr/bin/env python3
"""Makes a listing benchmark archive: COUNT small stored entries with realistic, unique
path names (folders 1 to 4 deep, mixed case, digits, common extensions) in random order.

    make_archive.py OUTPUT.zip COUNT [SEED] [--one-flagged-encrypted]

--one-flagged-encrypted sets the encryption flag of the first entry (its bytes stay plain):
Vellumo then shows no entry at start, so its time to a filled list is measured alone.
"""
import random
import struct
import sys
import zipfile

FOLDERS = ["src", "docs", "images", "Reports", "assets", "lib", "data", "help", "Archive",
           "2019", "2020", "2021", "q1", "q2", "q3", "q4", "html", "css", "scripts", "Backup",
           "projects", "clients", "Invoices", "photos", "Holiday", "music", "notes", "drafts",
           "templates", "old", "misc", "build", "test", "vendor", "fonts", "icons", "maps"]
WORDS = ["summary", "report", "index", "chapter", "Readme", "invoice", "letter", "photo",
         "budget", "minutes", "agenda", "contract", "draft", "final", "notes", "table",
         "figure", "scan", "page", "list", "order", "customer", "supplier", "manual", "guide"]
EXTENSIONS = [".html", ".htm", ".txt", ".jpg", ".png", ".css", ".js", ".pdf", ".doc", ".xml",
              ".gif", ".csv", ".ini", ".dat"]


def names(count, rng):
    seen = set()
    while len(seen) < count:
        depth = rng.randint(1, 4)
        folders = "/".join(rng.choice(FOLDERS) for _ in range(depth))
        base = "%s%s%d" % (rng.choice(WORDS), rng.choice(["-", "_", " ", ""]), rng.randint(0, 99999))
        seen.add("%s/%s%s" % (folders, base, rng.choice(EXTENSIONS)))
    result = sorted(seen)
    rng.shuffle(result)
    return result


def flag_first_encrypted(path):
    with open(path, "r+b") as f:
        data = f.read()
        end = data.rfind(b"PK\x05\x06")
        central = struct.unpack_from("<I", data, end + 16)[0]
        local = struct.unpack_from("<I", data, central + 42)[0]
        for at in (central + 8, local + 6):
            flags = struct.unpack_from("<H", data, at)[0]
            f.seek(at)
            f.write(struct.pack("<H", flags | 1))


def main():
    flagged = "--one-flagged-encrypted" in sys.argv
    args = [a for a in sys.argv if a != "--one-flagged-encrypted"]
    output, count = args[1], int(args[2])
    rng = random.Random(int(args[3]) if len(args) > 3 else 1)
    with zipfile.ZipFile(output, "w", zipfile.ZIP_STORED) as z:
        for name in names(count, rng):
            info = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 12, 30, 0))
            info.external_attr = 0o644 << 16
            z.writestr(info, b"x" * rng.randint(0, 64))
    if flagged:
        flag_first_encrypted(output)


if __name__ == "__main__":
    main()
