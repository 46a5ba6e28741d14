#!/usr/bin/env bash
# Runs installer_check in a Wine prefix made afresh for it (the tests' own prefix stays
# untouched), with a home folder of its own: Wine links the prefix's desktop to the home
# folder, and shortcuts would otherwise land in the real one. Its Wine server ends with it.
#   installer_test.sh <folder for prefix and home> <installer_check.exe> <setup.exe>
#                     <VordaCen.exe> <version>
# The setup that ships is a 32-bit program, and this machine's Wine runs 64-bit programs
# only: the runs here use the same script made with the 64-bit stub, once more for the
# version before (the downgrade), and once signed with a throwaway certificate.
set -euo pipefail
export VORDA_WINEPREFIX="$1/prefix" WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
wineserver -k 2>/dev/null || true
rm -rf "$1"
mkdir -p "$1/home" "$1/setup"
status=0
check() {
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}

make="$VORDA_ROOT/installer/make-setup" s="$1/setup"
# The shipped setup: a 32-bit program (its PE machine i386) without a signature.
machine() { od -An -tx2 -j$(($(od -An -tu4 -j60 -N4 "$1") + 4)) -N2 "$1" | tr -d ' '; }
check "the setup is a 32-bit program" test "$(machine "$3")" = 014c
signed() { osslsigncode verify -CAfile "$s/cert.pem" -in "$1" >/dev/null 2>&1; }
unsigned() { ! osslsigncode verify -in "$1" >/dev/null 2>&1; }
check "the normal build signs nothing" unsigned "$3"

"$make" "$s/current.exe" "$4" "$5" --target amd64-unicode
"$make" "$s/older.exe" "$4" "${5%.*}.$((${5##*.} - 1))" --target amd64-unicode
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$s/key.pem" -out "$s/cert.pem" -days 2 \
    -subj "/CN=Vorda Cen test" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
echo "throwaway" >"$s/password"
openssl pkcs12 -export -inkey "$s/key.pem" -in "$s/cert.pem" -out "$s/cert.pfx" \
    -passout "file:$s/password"
"$make" "$s/signed.exe" "$4" "$5" --target amd64-unicode --sign "$s/cert.pfx" \
    --password-file "$s/password"

export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" HOME="$1/home"
trap 'wineserver -k 2>/dev/null || true' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }
"$VORDA_ROOT/scripts/wine-exec" "$2" "$(winpath "$s/current.exe")" "$(winpath "$s/older.exe")" \
    "$(winpath "$s/signed.exe")" || status=1

# What the signed setup installed, and the setup itself.
installed=("$1"/prefix/drive_c/users/*/AppData/Local/Programs/"Vorda Cen")
for file in "$s/signed.exe" "$installed/VordaCen.exe" "$installed/Uninstall.exe"; do
    check "signed: $(basename "$file")" signed "$file"
done
exit $status
