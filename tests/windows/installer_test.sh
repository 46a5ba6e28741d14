#!/usr/bin/env bash
# Runs installer_check in a Wine prefix made afresh for it (the tests' own prefix stays
# untouched), with a home folder of its own: Wine links the prefix's desktop to the home
# folder, and shortcuts would otherwise land in the real one. Its Wine server ends with it.
#   installer_test.sh <folder> <installer_check.exe> <setup.exe> <VordaCen.exe> <version>
# The shipped setup is 32-bit, this Wine runs 64-bit programs only: the runs use the script
# with the 64-bit stub, signed with a throwaway certificate, and as the version before.
set -euo pipefail
export VORDA_WINEPREFIX="$1/prefix" WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
wineserver -k 2>/dev/null || true
rm -rf "$1"
mkdir -p "$1/home" "$1/setup"
s="$1/setup" program="$4" version="$5" status=0
check() { if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1" && status=1; fi; }
pe=$(($(od -An -tu4 -j60 -N4 "$3") + 4))  # the PE header's machine: i386 is 014c
check "the shipped setup is a 32-bit program" test "$(od -An -tx2 -j$pe -N2 "$3")" = " 014c"
check "the normal build signs nothing" grep -q "No signature found" <(osslsigncode verify -in "$3" 2>&1)

make() { "$VORDA_ROOT/installer/make-setup" "$s/$1" "$program" "$2" --target amd64-unicode "${@:3}"; }
make older.exe "${version%.*}.$((${version##*.} - 1))"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$s/key.pem" -out "$s/cert.pem" -days 2 \
    -subj "/CN=Vorda Cen test" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
echo "throwaway" >"$s/password"
openssl pkcs12 -export -inkey "$s/key.pem" -in "$s/cert.pem" -out "$s/cert.pfx" \
    -passout "file:$s/password"
make signed.exe "$version" --sign "$s/cert.pfx" --password-file "$s/password"

export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" HOME="$1/home"
trap 'wineserver -k 2>/dev/null || true' EXIT
"$VORDA_ROOT/scripts/wine-exec" "$2" "Z:${s//\//\\}" || status=1
# The signed setup, and what it installed.
installed=("$1"/prefix/drive_c/users/*/AppData/Local/Programs/"Vorda Cen")
for file in "$s/signed.exe" "$installed/VordaCen.exe" "$installed/Uninstall.exe"; do
    check "signed: $(basename "$file")" \
        grep -q "^Succeeded" <(osslsigncode verify -CAfile "$s/cert.pem" -in "$file" 2>&1)
done
exit $status
