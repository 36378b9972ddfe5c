#!/bin/sh
# The Windows card library under Wine against the vectors the Linux library
# is tested with, checked by the openssl command line on this (Linux) side:
#   1. makes the key material and openssl's outputs in a fresh directory;
#   2. runs the Windows test program under Wine (it imports rsa.pfx into the
#      prefix's "MY" store, works with it, removes it, and writes its own
#      outputs to out/);
#   3. checks those outputs here: signatures byte for byte against openssl's,
#      cipher texts and envelopes opened by openssl, the XML against openssl's
#      reading of the same certificates.
# usage: cross-check.sh <emulator> <test program>
set -eu
EMULATOR=$1
PROGRAM=$2
ROOT=$(cd "$(dirname "$0")/../../../.." && pwd)
DIR=$(mktemp -d "${TMPDIR:-/tmp}/pkicard-win.XXXXXX")
trap 'rm -rf "$DIR"' EXIT
cd "$DIR"
mkdir out

fail() { echo "cross-check: $*" >&2; exit 1; }
quiet() { "$@" >>make.log 2>&1 || { cat make.log >&2; fail "command failed: $*"; }; }

# The DLL beside the program exports exactly the functions of pkiCard.h.
sed -n 's/^PKICARD_API int \(pki[A-Za-z0-9]*\)(.*/\1/p' "$ROOT/libs/pkicard/pkiCard.h" | sort >exports.want
x86_64-w64-mingw32-objdump -p "$(dirname "$PROGRAM")/pkiCard.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort >exports.have
[ "$(wc -l <exports.want)" -eq 15 ] || fail "pkiCard.h declares $(wc -l <exports.want) functions, not 15"
cmp -s exports.want exports.have || fail "pkiCard.dll exports: $(tr '\n' ' ' <exports.have)"

cat >leaf.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=digitalSignature,nonRepudiation,keyEncipherment
subjectKeyIdentifier=hash
EXT
quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ca.key
quiet openssl req -x509 -new -key ca.key -subj "/CN=Test Root/O=Tolvan" -days 3650 \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign -out ca.pem
quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.key
quiet openssl req -new -key rsa.key -subj "/CN=Rsa Signer/O=Tolvan" -out rsa.csr
quiet openssl x509 -req -in rsa.csr -CA ca.pem -CAkey ca.key -set_serial 0x1001 -days 365 \
  -extfile leaf.ext -out rsa.pem
quiet openssl x509 -in rsa.pem -outform DER -out rsa.der
quiet openssl pkcs12 -export -inkey rsa.key -in rsa.pem -name RSA_SIG -passout pass:1234 -out rsa.pfx
quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key
quiet openssl req -new -key ec.key -subj "/CN=Ec Signer/O=Tolvan" -out ec.csr
quiet openssl x509 -req -in ec.csr -CA ca.pem -CAkey ca.key -set_serial 0x1002 -days 365 \
  -extfile leaf.ext -outform DER -out ec.der
quiet openssl x509 -req -in ec.csr -CA ca.pem -CAkey ca.key -set_serial 0x1003 -days -1 \
  -extfile leaf.ext -outform DER -out expired.der
quiet openssl req -x509 -new -newkey rsa:2048 -nodes -keyout other.key -subj /CN=Stranger -days 365 \
  -addext subjectKeyIdentifier=hash -outform DER -out other.der
quiet openssl req -x509 -new -key ec.key -subj '/CN=A<b> & "c"/O=X&Y' -days 365 -outform DER -out odd.der
quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out p384.key
quiet openssl req -x509 -new -key p384.key -subj /CN=P384 -days 365 -outform DER -out p384.der
quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:SM2 -out sm2.key
quiet openssl req -x509 -new -key sm2.key -sm3 -sigopt distid:1234567812345678 -subj "/CN=Sm2 Signer" \
  -days 365 -outform DER -out sm2.der

# Data, digests, openssl's signatures, cipher texts (IV in front) and envelopes.
quiet openssl rand -out data.bin 1000
DIGESTS="1:sha1 2:sha256 3:sm3 4:sha384 5:sha512"
for d in $DIGESTS; do
  n=${d%%:*}; name=${d#*:}
  quiet openssl dgst -"$name" -binary -out hash-$n.bin data.bin
done
quiet openssl dgst -sha256 -sign rsa.key -out rsasig-2.bin data.bin
# RSA with SM3: OpenSSL has no DigestInfo for it, so the DigestInfo is signed.
{ printf '\060\060\060\014\006\010\052\201\034\317\125\001\203\021\005\000\004\040'; cat hash-3.bin; } >di-3.bin
quiet openssl pkeyutl -sign -inkey rsa.key -in di-3.bin -out rsasig-3.bin
quiet openssl dgst -sha384 -sign ec.key -out ecsig-4.bin data.bin
CIPHERS="1:aes-128-cbc:16:16 2:aes-256-cbc:32:16 3:sm4-cbc:16:16 4:des-ede3-cbc:24:8"
for c in $CIPHERS; do
  n=${c%%:*}; rest=${c#*:}; name=${rest%%:*}; rest=${rest#*:}; klen=${rest%%:*}; ivlen=${rest#*:}
  quiet openssl rand -out key-$n.bin "$klen"
  quiet openssl rand -out iv-$n.bin "$ivlen"
  quiet openssl enc -e -"$name" -K "$(od -An -tx1 -v key-$n.bin | tr -d ' \n')" \
    -iv "$(od -An -tx1 -v iv-$n.bin | tr -d ' \n')" -in data.bin -out c-$n.bin
  cat iv-$n.bin c-$n.bin >enc-$n.bin
  quiet openssl cms -encrypt -binary -outform DER -in data.bin -out env-$n.der -"$name" rsa.pem
done

# The Windows side. Wine hands this environment to the program; Z: is /.
set +e
PKICARD_TEST_DIR="Z:$DIR" "$EMULATOR" "$PROGRAM"
RC=$?
set -e
[ "$RC" -eq 0 ] || fail "the Windows test program failed ($RC)"

# Signatures: PKCS#1 v1.5 is deterministic, so byte for byte openssl's.
for d in $DIGESTS; do
  n=${d%%:*}; name=${d#*:}
  if [ -s out/sign-$n.skip ]; then
    echo "cross-check: no signature with digest $n: $(cat out/sign-$n.skip)"
    continue
  fi
  [ -s out/sign-$n.bin ] || fail "no signature for digest $n"
  if [ "$name" = sm3 ]; then
    cp rsasig-3.bin expect-3.bin
  else
    quiet openssl dgst -"$name" -sign rsa.key -out expect-$n.bin data.bin
  fi
  cmp -s out/sign-$n.bin expect-$n.bin || fail "signature with digest $n differs from openssl's"
done

# Cipher texts and envelopes made on Windows open here.
for c in $CIPHERS; do
  n=${c%%:*}; rest=${c#*:}; name=${rest%%:*}; rest=${rest#*:}; ivlen=${rest#*:}
  [ -s out/symm-$n.bin ] || fail "no cipher text for algorithm $n"
  dd if=out/symm-$n.bin of=win-iv.bin bs=1 count="$ivlen" 2>/dev/null
  dd if=out/symm-$n.bin of=win-c.bin bs=1 skip="$ivlen" 2>/dev/null
  quiet openssl enc -d -"$name" -K "$(od -An -tx1 -v key-$n.bin | tr -d ' \n')" \
    -iv "$(od -An -tx1 -v win-iv.bin | tr -d ' \n')" -in win-c.bin -out win-plain.bin
  cmp -s win-plain.bin data.bin || fail "openssl enc does not recover Windows' $name output"
  quiet openssl cms -decrypt -binary -inform DER -in out/seal-$n.der -recip rsa.pem -inkey rsa.key \
    -out win-open.bin
  cmp -s win-open.bin data.bin || fail "openssl cms does not open Windows' $name envelope"
done

# The XML: the fields openssl reads from the same certificates.
field() { sed -n "s|^<$2>\(.*\)</$2>\$|\1|p" "$1"; }
xml_text() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' -e "s/'/\&apos;/g"; }
for cert in rsa odd; do
  x=out/xml-$cert.xml
  [ -s "$x" ] || fail "no XML for $cert"
  subject=$(openssl x509 -inform DER -in $cert.der -noout -subject -nameopt RFC2253,-esc_msb | sed 's/^subject=//' | xml_text)
  issuer=$(openssl x509 -inform DER -in $cert.der -noout -issuer -nameopt RFC2253,-esc_msb | sed 's/^issuer=//' | xml_text)
  serial=$(openssl x509 -inform DER -in $cert.der -noout -serial | sed 's/^serial=//')
  thumb=$(openssl x509 -inform DER -in $cert.der -noout -fingerprint -sha1 | sed 's/^.*=//; s/://g')
  after=$(date -u -d "$(openssl x509 -inform DER -in $cert.der -noout -enddate | sed 's/^notAfter=//')" '+%Y-%m-%d %H:%M:%S')
  sigalg=$(openssl x509 -inform DER -in $cert.der -noout -text | sed -n 's/^ *Signature Algorithm: //p' | head -n 1)
  bits=$(openssl x509 -inform DER -in $cert.der -noout -text | sed -n 's/^ *Public-Key: (\([0-9]*\) bit)/\1/p')
  [ "$(field $x Subject)" = "$subject" ] || fail "$cert Subject: $(field $x Subject) vs $subject"
  [ "$(field $x Issuer)" = "$issuer" ] || fail "$cert Issuer: $(field $x Issuer) vs $issuer"
  [ "$(field $x SerialNumber)" = "$serial" ] || fail "$cert SerialNumber: $(field $x SerialNumber) vs $serial"
  [ "$(field $x Thumbprint)" = "$thumb" ] || fail "$cert Thumbprint"
  [ "$(field $x NotAfter)" = "$after" ] || fail "$cert NotAfter: $(field $x NotAfter) vs $after"
  [ "$(field $x SignatureAlgorithm)" = "$sigalg" ] || fail "$cert SignatureAlgorithm: $(field $x SignatureAlgorithm) vs $sigalg"
  [ "$(field $x PublicKeyBits)" = "$bits" ] || fail "$cert PublicKeyBits: $(field $x PublicKeyBits) vs $bits"
done
echo "cross-check: Windows outputs match openssl's"
