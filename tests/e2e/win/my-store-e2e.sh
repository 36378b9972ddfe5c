#!/bin/sh
# Makes the signing certificate of the Windows end-to-end test with the
# openssl command line in a fresh directory (an RSA-2048 key whose
# certificate allows digital signatures, as a PFX with password 1234), then
# runs the test program under Wine with TOLVAN_E2E_DIR naming that directory
# (Z: is /). The directory is removed on every path.
# usage: my-store-e2e.sh <emulator> <test program>
set -eu
EMULATOR=$1
PROGRAM=$2
DIR=$(mktemp -d "${TMPDIR:-/tmp}/mystore-e2e.XXXXXX")
trap 'rm -rf "$DIR"' EXIT
cd "$DIR"

quiet() { "$@" >>make.log 2>&1 || { cat make.log >&2; echo "my-store-e2e: command failed: $*" >&2; exit 1; }; }

quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out e2e.key
quiet openssl req -x509 -new -key e2e.key -subj "/CN=Tolvan E2E Signer/O=Tolvan" -days 30 \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=critical,digitalSignature -out e2e.pem
quiet openssl pkcs12 -export -inkey e2e.key -in e2e.pem -passout pass:1234 -out e2e.pfx

TOLVAN_E2E_DIR="Z:$DIR" "$EMULATOR" "$PROGRAM"
