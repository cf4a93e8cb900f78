#!/usr/bin/env python3
"""tools/check_exe.py reads the signer of every signature osslsigncode makes:
with and without the program name (-n) that the build's signing step adds, by
one self-signed certificate or by a certificate with its authority.
    check_exe_test.py i386|amd64 PROGRAM"""
import contextlib, io, os, subprocess, sys, tempfile  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools"))
import check_exe  # noqa: E402

SIGNER = "PI Varnel Sp. z o.o. Łódź"
# (case, certificates, osslsigncode's extra arguments). Fixed serials give each
# signature the same length on every run; the certificate table pads them with
# an odd and an even number of zero bytes (the cases say how many).
CASES = [("self-signed, program name", "self", ["-n", "Tabrix Kalk"]),
         ("self-signed, no program name", "self", []),
         ("authority and signer, program name", "chain", ["-n", "Tabrix Kalk"]),
         ("authority and signer, no program name", "chain", [])]
CERTIFICATES = """
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -utf8 -set_serial 1 -keyout self.key -out self.pem \
  -subj "/CN=$SIGNER" -addext extendedKeyUsage=codeSigning
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -set_serial 2 -keyout ca.key -out ca.pem \
  -subj "/CN=Varnel Test Authority" -addext basicConstraints=critical,CA:TRUE
openssl req -newkey rsa:2048 -nodes -utf8 -keyout chain.key -out chain.csr -subj "/CN=$SIGNER"
echo extendedKeyUsage=codeSigning >code.ext
openssl x509 -req -in chain.csr -CA ca.pem -CAkey ca.key -set_serial 1 -days 30 -extfile code.ext \
  -out leaf.pem
cat leaf.pem ca.pem >chain.pem"""


def main(machine, program):
    failed, odd = 0, set()
    with tempfile.TemporaryDirectory() as at:
        subprocess.run(["bash", "-ec", CERTIFICATES], cwd=at, env=dict(os.environ, SIGNER=SIGNER),
                       check=True, capture_output=True)
        for number, (case, key, extra) in enumerate(CASES):
            signed = "%s/signed%d.exe" % (at, number)
            subprocess.run(["osslsigncode", "sign", "-certs", "%s/%s.pem" % (at, key), "-key",
                            "%s/%s.key" % (at, key), "-h", "sha256"] + extra +
                           ["-in", program, "-out", signed], check=True, capture_output=True)
            report, shown = check_exe.Report(), io.StringIO()
            with contextlib.redirect_stdout(shown):
                check_exe.inspect(signed, machine, report)
            # What follows the signature's outer DER element in its table entry.
            data = open(signed, "rb").read()
            table, size = check_exe.PeImage(data).directory(4)
            count = data[table + 9] & 0x7F if data[table + 9] & 0x80 else 0
            length = int.from_bytes(data[table + 10:table + 10 + count], "big") if count else data[table + 9]
            padding = size - 10 - count - length
            odd.add(padding % 2)
            signature = [line for line in shown.getvalue().splitlines() if "ignature" in line]
            good = signature == ['Signature: signed by "%s"' % SIGNER] and not report.problems
            failed += not good
            print("%s: %s (padded with %d bytes) %s" % ("ok" if good else "FAILED", case, padding,
                                                        "" if good else signature))
    if odd != {0, 1}:
        failed += print("FAILED: the cases no longer pad with odd and even numbers of bytes") or 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
