#!/usr/bin/env bash
# Runs the board's DPI test of the Windows-side tests at 144 and at 192 DPI, in a Wine prefix
# of its own (made once, about ten seconds; the tests' own prefix stays at 96 DPI) whose Wine
# desktop holds the window grown for a quarter more DPI. The test keeps a screenshot at each
# DPI beside the 96-DPI one. The prefix's Wine server ends with it.
#   dpi_test.sh <prefix folder> <vorda_windows_tests.exe>
set -euo pipefail
export VORDA_WINEPREFIX="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
ensure_display
ensure_wineprefix
trap 'wineserver -k 2>/dev/null || true' EXIT
for dpi in 144 192; do
    set_prefix_dpi "$dpi" 2600x2000
    "$VORDA_ROOT/scripts/wine-exec" "$2" --gtest_filter='ProgramWindow.TheBoardFills*'
done
