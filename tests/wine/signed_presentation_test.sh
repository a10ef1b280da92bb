#!/usr/bin/env bash
# A packed presentation signed after packing, as authors sign theirs:
#   signed_presentation_test.sh WINE_RUN WINE_ROOT TEST_PROGRAM WORK_DIR
# The Wine test program writes the unsigned presentations into WORK_DIR (one
# of lumpack's, eight of a builder that does not align); this script signs
# them with a certificate made here and thrown away afterwards, checks that
# each signature verifies, and has the program launch the files and read
# them with lumpack's reader.
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
# sign IN OUT: IN.exe signed into OUT.exe, and the signature verified.
sign() {
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Signed test presentation" \
        -h sha256 -in "$work/$1.exe" -out "$work/$2.exe" >"$work/sign.log" 2>&1 ||
        { cat "$work/sign.log" >&2; exit 1; }
    # The certificate is self-signed, so it is its own certificate authority.
    if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$2.exe" >"$work/verify.log" 2>&1 ||
       ! grep -q "^Signature verification: ok" "$work/verify.log"; then
        echo "osslsigncode does not accept the signature of $2.exe:" >&2
        cat "$work/verify.log" >&2
        exit 1
    fi
    echo "signed and verified: $1.exe, $(stat -c %s "$work/$1.exe") bytes before, $(stat -c %s "$work/$2.exe") after"
}
sign unsigned signed
# Files of a builder that does not align, of every size modulo 8.
for residue in 0 1 2 3 4 5 6 7; do
    sign "unaligned$residue" "unaligned$residue-signed"
done
rm -f "$work/key.pem"

"$wine_run" "$wine_root" "$program" --gtest_filter=SignedPresentation.Launch*:SignedPresentation.Lumpack*
