#!/usr/bin/env bash
# A stamped product signed with a throw-away code-signing certificate: osslsigncode verifies it,
# filespack still tests it and reports the signature, and stamping a signed program again does
# not carry the now wrong signature over.
#   check.sh FILESPACK PROGRAM SOURCE_DIR SCRATCH
set -euo pipefail
filespack=$1 program=$2 source_dir=$3 scratch=$4
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=filespack test signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
"$filespack" exe product.exe "$source_dir/samples/quolta" -q --stub "$program" \
    --name Quolta --description "インターネット電話 Quolta" --product-version "Ver 1.71" \
    --caption "SelfUnpack - Quolta" --resource-name QUOLTA 2>/dev/null

expect() {  # expect TEXT COMMAND...: the command succeeds and prints TEXT
    local text=$1 out
    shift
    out=$("$@" 2>&1) || { echo "failed: $*"; echo "$out"; exit 1; }
    grep -qF -- "$text" <<<"$out" || { echo "no \"$text\" from: $*"; echo "$out"; exit 1; }
}

expect "signature: none" "$filespack" test product.exe
osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n Quolta \
    -in product.exe -out signed.exe >/dev/null
expect "Signature verification: ok" osslsigncode verify -CAfile cert.pem -in signed.exe
expect "signature: present" "$filespack" test signed.exe
expect '"signature": "present"' "$filespack" list --json signed.exe
"$filespack" extract -q signed.exe -o unpacked
cmp unpacked/予定表.txt "$source_dir/samples/quolta/予定表.txt"

"$filespack" exe restamped.exe --package signed.exe -q --stub signed.exe \
    --name Quolta --description "" --product-version "" --caption "" \
    --resource-name QUOLTA 2>/dev/null
expect "signature: none" "$filespack" test restamped.exe
echo "signed, verified, tested; restamping dropped the signature"
cd /
rm -rf "$scratch"
