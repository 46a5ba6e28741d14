#!/usr/bin/env bash
# Runs installer_check in a Wine prefix made afresh for it (the tests' own prefix stays
# untouched), with a home folder of its own: Wine links the prefix's desktop to the home
# folder, and shortcuts would otherwise land in the real one. Its Wine server ends with it.
#   installer_test.sh <folder for prefix and home> <installer_check.exe> <setup.exe>
set -euo pipefail
export VORDA_WINEPREFIX="$1/prefix" WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
wineserver -k 2>/dev/null || true
rm -rf "$1"
mkdir -p "$1/home"
export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" HOME="$1/home"
trap 'wineserver -k 2>/dev/null || true' EXIT
"$VORDA_ROOT/scripts/wine-exec" "$2" "Z:${3//\//\\}"
