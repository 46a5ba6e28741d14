#!/usr/bin/env bash
# The board's DPI test at 144 and 192 DPI, in a Wine prefix of its own (made once; the tests'
# own stays at 96 DPI) whose Wine desktop holds the window at a quarter more DPI.
#   dpi_test.sh <prefix folder> <vorda_windows_tests.exe>
set -euo pipefail
export VORDA_WINEPREFIX="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
ensure_display
trap 'wineserver -k 2>/dev/null || true' EXIT
for dpi in 144 192; do
    set_prefix_dpi "$dpi" 2600x2000
    "$VORDA_ROOT/scripts/wine-exec" "$2" --gtest_filter='ProgramWindow.StartsWith*'
done
