"""The wrong passwords the tests give to encrypted fixture archives, and a check that they
really are wrong. A traditional-encryption header carries one check byte and zip tools fill
the rest of it with random bytes, so about one archive in 256 lets a given wrong password
through the header check; the tests would then see corrupt data instead of a wrong
password. The fixture scripts make such an archive again until every one of these fails.
WinZip AES entries carry a 2-byte password verifier instead: one wrong password in 65,536
passes it, and the same check applies."""
import hashlib
import os
import struct
import zipfile

WRONG = [b"wrong", b"nope", b"bad", b"x", b"a", b"b", b"c", b"abc", b"ABC", b"s3cre", b"Secret",
         b"also wrong"]


def aes_verifier_passes(path, info, password):
    """Whether the password's PBKDF2 verifier equals the one stored in front of the data."""
    extra, strength = info.extra, None
    while len(extra) >= 4:
        field, size = struct.unpack_from("<HH", extra)
        if field == 0x9901 and size >= 7:
            strength = extra[8]
        extra = extra[4 + size:]
    if strength not in (1, 2, 3):
        return False
    key, salt_size = 8 * (strength + 1), 4 * (strength + 1)
    with open(path, "rb") as f:
        f.seek(info.header_offset)
        local = f.read(30)
        name_len, extra_len = struct.unpack_from("<HH", local, 26)
        f.seek(info.header_offset + 30 + name_len + extra_len)
        front = f.read(salt_size + 2)
    derived = hashlib.pbkdf2_hmac("sha1", password, front[:salt_size], 1000, 2 * key + 2)
    return derived[-2:] == front[salt_size:]


def wrong_passwords_fail(path):
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if not info.flag_bits & 1:
                continue
            if info.compress_type == 99:
                if any(aes_verifier_passes(path, info, p) for p in WRONG):
                    return False
                continue
            for password in WRONG:
                try:
                    with z.open(info, pwd=password):
                        return False  # the header check let it through
                except RuntimeError:
                    pass  # "Bad password": the check byte refused it
    return True


def make_until_wrong_passwords_fail(path, make, tries=100):
    """Runs make() (which writes path) until no wrong password passes the header check."""
    for _ in range(tries):
        if os.path.exists(path):
            os.remove(path)
        make()
        if wrong_passwords_fail(path):
            return
    raise SystemExit("%s: a wrong password passed the header check %d times" % (path, tries))


if __name__ == "__main__":
    import sys

    sys.exit(0 if all(wrong_passwords_fail(p) for p in sys.argv[1:]) else 1)
