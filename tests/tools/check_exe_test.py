#!/usr/bin/env python3
"""check_exe_test.py i386|amd64 PROGRAM: tools/check_exe.py reads the signer of
every signature osslsigncode makes: with and without the program name (-n) that
the build's signing step adds, by a self-signed certificate or with its authority."""
import contextlib, io, os, subprocess, sys, tempfile  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools"))
import check_exe  # noqa: E402

SIGNER = "PI Varnel Sp. z o.o. Łódź"
# (case, certificates, osslsigncode's extra arguments). Fixed serials give each
# signature the same length on every run; the certificate table pads them with
# an odd and an even number of zero bytes (the cases say how many).
CASES = [("self-signed, program name", "self", ["-n", "Tabrix Kalk"]), ("self-signed", "self", []),
         ("with its authority, program name", "chain", ["-n", "Tabrix Kalk"]),
         ("with its authority", "chain", [])]
CERTIFICATES = """
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -utf8 -set_serial 1 -keyout self.key -out self.pem \
  -subj "/CN=$SIGNER" -addext extendedKeyUsage=codeSigning
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -set_serial 2 -keyout ca.key -out ca.pem \
  -subj "/CN=Varnel Test Authority" -addext basicConstraints=critical,CA:TRUE
openssl req -newkey rsa:2048 -nodes -utf8 -keyout chain.key -out chain.csr -subj "/CN=$SIGNER"
openssl x509 -req -in chain.csr -CA ca.pem -CAkey ca.key -set_serial 1 -days 30 -out leaf.pem \
  -extfile <(echo extendedKeyUsage=codeSigning) && cat leaf.pem ca.pem >chain.pem"""


def main(machine, program):
    failed, odd = 0, set()
    with tempfile.TemporaryDirectory() as at:
        subprocess.run(["bash", "-ec", CERTIFICATES], cwd=at, env=dict(os.environ, SIGNER=SIGNER),
                       check=True, capture_output=True)
        for number, (case, key, extra) in enumerate(CASES):
            signed = "%s/signed%d.exe" % (at, number)
            subprocess.run(["osslsigncode", "sign", "-certs", key + ".pem", "-key", key + ".key", "-h",
                            "sha256"] + extra + ["-in", os.path.abspath(program), "-out", signed],
                           cwd=at, check=True, capture_output=True)
            report, shown = check_exe.Report(), io.StringIO()
            with contextlib.redirect_stdout(shown):
                check_exe.inspect(signed, machine, report)
            # The table entry: 8 bytes of header, the signature (a DER element, 0x30 0x82 and
            # the length in 2 bytes) and the zeros that pad it.
            data = open(signed, "rb").read()
            table, size = check_exe.PeImage(data).directory(4)
            padding = size - 12 - int.from_bytes(data[table + 10:table + 12], "big")
            odd.add(padding % 2)
            signature = [line for line in shown.getvalue().splitlines() if "ignature" in line]
            good = signature == ['Signature: signed by "%s"' % SIGNER] and not report.problems
            failed += not good
            print("%s: %s, padded with %d bytes %s" % ("ok" if good else "FAILED", case, padding,
                                                       "" if good else signature))
    if odd != {0, 1}:
        failed += print("FAILED: the cases no longer pad with odd and even numbers of bytes") or 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
