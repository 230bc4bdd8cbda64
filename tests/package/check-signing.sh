#!/bin/sh
# Usage: check-signing.sh CPACK CPACK_CONFIG WORK_DIR VERSION PACKAGE_NAME PYTHON SIGN_EXE
#
# Signs the build's zip as a release does and checks the result. Makes the
# zip with CPack in WORK_DIR (emptied first), whose exe must carry no
# signature, and a throw-away code-signing certificate and key with openssl.
# SIGN_EXE without a key must refuse and leave the zip alone; with them it
# signs. Then: SHA256SUMS checks (`sha256sum -c`) with the new zip; the zip
# holds the same files, README.txt unchanged; the exe's signature verifies
# against the certificate (`osslsigncode verify`) and its manifest and
# version resource are still there (check-exe-resources.py, run with
# PYTHON); a copy of the exe with one byte changed fails verification; and
# signing the same zip again with the same key gives the same bytes. Prints
# every fault found; exit status 1 if any.
set -u

if [ $# -ne 7 ]; then
  echo "usage: $0 CPACK CPACK_CONFIG WORK_DIR VERSION PACKAGE_NAME PYTHON SIGN_EXE" >&2
  exit 2
fi
cpack=$1
config=$2
work=$3
version=$4
folder=$5
python=$6
sign_exe=$7
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package-lib.sh"

make_package "$cpack" "$config" "$work/release" ZIP zip
zip=$package
release=$work/release
rm -rf "$release/_CPack_Packages"
cp -R "$release" "$work/release-again"
cp "$zip" "$work/unsigned.zip"

unzip -q "$zip" -d "$work/unsigned" || fault "unzip of the unsigned zip failed"
if osslsigncode verify -in "$work/unsigned/$folder/RavelinFwUpgrade.exe" >"$work/verify-unsigned.log" 2>&1; then
  fault "the exe that CPack packed is signed already"
fi

"$sign_exe" "$release" >"$work/sign-without-key.log" 2>&1
status=$?
[ $status -eq 2 ] || fault "sign-exe without a key exited with status $status, not 2"
cmp -s "$zip" "$work/unsigned.zip" || fault "sign-exe without a key changed the zip"

# A certificate for code signing, valid from now for two days.
key=$work/signing-key.pem
cert=$work/signing-cert.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$key" -out "$cert" -days 2 \
  -subj "/CN=RavelinFwUpgrade test signing" -addext "extendedKeyUsage=codeSigning" >"$work/openssl.log" 2>&1 ||
  { cat "$work/openssl.log"; fault "openssl made no certificate"; }

if "$sign_exe" --cert "$cert" --key "$key" "$release"; then
  (cd "$release" && sha256sum -c SHA256SUMS) || fault "sha256sum -c SHA256SUMS fails after signing"
  cmp -s "$zip" "$work/unsigned.zip" && fault "signing left the zip as it was"
  [ "$(unzip -Z1 "$zip")" = "$(unzip -Z1 "$work/unsigned.zip")" ] || fault "the signed zip holds other files:
$(unzip -Z1 "$zip")"
  unzip -q "$zip" -d "$work/signed" || fault "unzip of the signed zip failed"
  exe=$work/signed/$folder/RavelinFwUpgrade.exe
  cmp -s "$work/signed/$folder/README.txt" "$work/unsigned/$folder/README.txt" ||
    fault "signing changed README.txt"

  if osslsigncode verify -CAfile "$cert" -in "$exe" >"$work/verify.log" 2>&1; then
    grep -E "Message digest algorithm|Signature verification" "$work/verify.log" | sort -u
  else
    cat "$work/verify.log"
    fault "the signed exe does not verify against the certificate"
  fi
  "$python" "$here/check-exe-resources.py" "$exe" "$version" || fault "the signed exe's resources are wrong"

  tampered=$work/tampered.exe
  cp "$exe" "$tampered"
  middle=$(($(wc -c <"$exe") / 2))
  byte=$(od -An -tu1 -j "$middle" -N 1 "$exe" | tr -d ' ')
  printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$tampered" bs=1 seek="$middle" conv=notrunc status=none
  cmp -s "$exe" "$tampered" && fault "the copy of the exe was not changed"
  if osslsigncode verify -CAfile "$cert" -in "$tampered" >"$work/verify-tampered.log" 2>&1; then
    fault "an exe changed after signing (byte $middle) still verifies"
  else
    echo "changed after signing (byte $middle): $(grep -m 1 -iE 'mismatch|failed' "$work/verify-tampered.log")"
  fi

  "$sign_exe" --cert "$cert" --key "$key" "$work/release-again" >/dev/null || fault "signing a second time failed"
  cmp -s "$zip" "$work/release-again/${zip##*/}" || fault "one key signs one zip into different bytes"
else
  fault "sign-exe with a certificate and key failed"
fi

[ $faults -eq 0 ] && echo "${zip##*/}: signed, verified, resources kept, a changed exe refused"
[ $faults -eq 0 ]
