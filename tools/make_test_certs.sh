#!/usr/bin/env bash
# Certificates for the HTTPS tests, made afresh in FOLDER:
#   ca.pem / ca.der      a test authority, which the tests make their Wine trust
#   good.pem, good.key   signed by it, for 127.0.0.11 and 127.0.0.12
#   wrong.pem, wrong.key signed by it, for another host name only
#   stray.pem, stray.key self-signed: no authority the test Windows knows
#   publisher.*, other.*  code signing under the test authority: the test
#                         publisher, and another whose name begins the same
#   rogue.*              code signing in the test publisher's name, under a
#                         root of its own that nothing trusts
#   hyphen.*             code signing under the test authority in the test
#                         publisher's name with a soft hyphen (U+00AD) inside
#   (each signer's NAME.chain.pem holds its certificate and its root)
#   tools/make_test_certs.sh FOLDER
set -euo pipefail
out=${1:?folder}
mkdir -p "$out"
cd "$out"
days=30
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days $days \
  -subj "/CN=Varnel Test Authority" -addext "basicConstraints=critical,CA:TRUE" 2>/dev/null
openssl x509 -in ca.pem -outform der -out ca.der
signed() {  # NAME SUBJECT_ALT_NAMES
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -out "$1.pem" \
    -days $days -extfile "$1.ext" 2>/dev/null
}
# Wine matches a host given as an address against DNS entries only.
signed good "IP:127.0.0.11,IP:127.0.0.12,DNS:127.0.0.11,DNS:127.0.0.12"
signed wrong "DNS:other.varnel.example"
openssl req -x509 -newkey rsa:2048 -nodes -keyout stray.key -out stray.pem -days $days \
  -subj "/CN=127.0.0.11" -addext "subjectAltName=DNS:127.0.0.11,DNS:127.0.0.12" 2>/dev/null

codesigner() {  # NAME COMMON_NAME ROOT
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -utf8 -subj "/CN=$2" 2>/dev/null
  printf 'extendedKeyUsage=codeSigning\n' >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -out "$1.pem" \
    -days $days -extfile "$1.ext" 2>/dev/null
  cat "$1.pem" "$3.pem" >"$1.chain.pem"
}
openssl req -x509 -newkey rsa:2048 -nodes -keyout rogue-ca.key -out rogue-ca.pem -days $days \
  -subj "/CN=Varnel Rogue Authority" -addext "basicConstraints=critical,CA:TRUE" 2>/dev/null
codesigner publisher "PI Varnel Sp. z o.o. Łódź" ca
codesigner other "PI Varnel Sp. z o.o. Łódź Oddział" ca
codesigner rogue "PI Varnel Sp. z o.o. Łódź" rogue-ca
codesigner hyphen "PI Varnel Sp. z o.o. Łó"$'\xc2\xad'"dź" ca
