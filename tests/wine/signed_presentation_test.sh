#!/usr/bin/env bash
# A packed presentation signed after packing, as authors sign theirs:
#   signed_presentation_test.sh WINE_RUN WINE_ROOT TEST_PROGRAM WORK_DIR
# The Wine test program writes the unsigned presentation into WORK_DIR; this
# script signs it with a certificate made here and thrown away afterwards,
# checks that the signature verifies, and has the program launch both files.
set -euo pipefail

wine_run="$1"
wine_root="$2"
program="$3"
work="$4"

rm -rf "$work"
mkdir -p "$work"
export LUMV_SIGNED_DIR="$work"

"$wine_run" "$wine_root" "$program" --gtest_filter=SignedPresentation.Build

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Lumivance test signer" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>"$work/openssl.log" ||
    { cat "$work/openssl.log" >&2; exit 1; }
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Signed test presentation" \
    -h sha256 -in "$work/unsigned.exe" -out "$work/signed.exe" >"$work/sign.log" 2>&1 ||
    { cat "$work/sign.log" >&2; exit 1; }
# The certificate is self-signed, so it is its own certificate authority.
if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify.log" 2>&1 ||
   ! grep -q "^Signature verification: ok" "$work/verify.log"; then
    echo "osslsigncode does not accept the signature:" >&2
    cat "$work/verify.log" >&2
    exit 1
fi
rm -f "$work/key.pem"
echo "signed and verified: $(stat -c %s "$work/unsigned.exe") bytes before, $(stat -c %s "$work/signed.exe") after"

"$wine_run" "$wine_root" "$program" --gtest_filter=SignedPresentation.Launch*
