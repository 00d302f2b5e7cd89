"""The wrong passwords the tests give to encrypted fixture archives, and a check that they
really are wrong. A traditional-encryption header carries one check byte and zip tools fill
the rest of it with random bytes, so about one archive in 256 lets a given wrong password
through the header check; the tests would then see corrupt data instead of a wrong
password. The fixture scripts make such an archive again until every one of these fails."""
import os
import zipfile

WRONG = [b"wrong", b"nope", b"bad", b"x", b"a", b"b", b"c", b"abc", b"ABC", b"s3cre", b"Secret"]


def wrong_passwords_fail(path):
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if not info.flag_bits & 1:
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
