# Shared by the scripts: paths, packages, the virtual display and the Wine prefix.
# Source it; it defines functions and variables only.

VORDA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VORDA_BUILD="${VORDA_BUILD:-$VORDA_ROOT/build}"
export WINEPREFIX="${VORDA_WINEPREFIX:-$VORDA_BUILD/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
# The symlink that the prefix's COM1 follows. Its name must not be a DOS device name
# ("com1" is one, also with an extension): Windows paths ending in one name the device.
VORDA_COM1_LINK="$VORDA_BUILD/tower-line"
# Settings of the prefix (configure_prefix); a prefix of another version is set up again.
VORDA_PREFIX_VERSION=3
# No Mono or Gecko install prompts when a prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

VORDA_PACKAGES=(
    cmake ninja-build g++ python3 clang-format fonts-dejavu-core fonts-dejavu-extra
    googletest libgtest-dev libgmock-dev nlohmann-json3-dev libcpp-httplib-dev pkg-config
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64 fonts-wine xvfb xauth x11-utils imagemagick xdotool nsis osslsigncode openssl
)

say() { printf '==> %s\n' "$*" >&2; }

# The comment block at the top of the running script, its usage, without the "# ".
print_usage() {
    awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"
}

# Prints the usage and ends the script with 0 when its first argument is -h or --help.
usage_if_asked() {
    case "${1:-}" in
        -h | --help) print_usage; exit 0 ;;
    esac
}

# Prints the usage to standard error and ends the script with 2 (a wrong argument).
usage_error() {
    say "$*"
    print_usage >&2
    exit 2
}

# Installs the Debian packages that are missing (as root, with apt-get): the ones named,
# or all of VORDA_PACKAGES.
install_deps() {
    local missing=() p wanted=("$@")
    [ $# -gt 0 ] || wanted=("${VORDA_PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        say "installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
    fi
}

configure_native() {
    local dir="$1"; shift
    cmake -S "$VORDA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
}

configure_windows() {
    local dir="$1"; shift
    cmake -S "$VORDA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$VORDA_ROOT/cmake/mingw-w64-posix.cmake" "$@" >/dev/null
}

# Uses $DISPLAY when it answers; otherwise starts (or reuses) an Xvfb display and
# exports DISPLAY. Sets VORDA_VIRTUAL_DISPLAY=1 when the display is virtual.
ensure_display() {
    VORDA_VIRTUAL_DISPLAY=0
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    mkdir -p "$VORDA_BUILD"
    local record="$VORDA_BUILD/xvfb-display"
    if [ -f "$record" ]; then
        export DISPLAY="$(cat "$record")"
        if xdpyinfo >/dev/null 2>&1; then
            VORDA_VIRTUAL_DISPLAY=1
            return 0
        fi
    fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X${n}-lock" ] && continue
        [ -e "/tmp/.X11-unix/X${n}" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        VORDA_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 100); do
            if xdpyinfo >/dev/null 2>&1; then
                echo ":$n" >"$record"
                VORDA_VIRTUAL_DISPLAY=1
                return 0
            fi
            sleep 0.1
        done
    done
    say "could not start a virtual display"
    return 1
}

# Settings of the prefix:
# - every program runs in one Wine desktop window: its windows get frames and captions
#   drawn by Wine, and closing one does not wait for a window manager that a bare
#   virtual display does not have;
# - the dialogs' "MS Sans Serif" (and "Helv") is drawn with DejaVu Sans Condensed, whose
#   width matches it; Wine would otherwise take DejaVu Sans, a sixth wider, and every
#   dialog would come out wider than on Windows;
# - COM1 follows the symlink $VORDA_COM1_LINK (pointed at a pseudo-terminal by whoever
#   plays the tower); COM2 to COM256 are masked, so that nothing opens a real device of
#   this machine.
configure_prefix() {
    local reg="$WINEPREFIX/vorda.reg" link="$VORDA_COM1_LINK" n
    {
        printf 'REGEDIT4\n\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Default"\n\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="1024x768"\n\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\n'
        printf '"MS Sans Serif"="DejaVu Sans Condensed"\n"Helv"="DejaVu Sans Condensed"\n\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
        printf '"COM1"="%s"\n' "$link"
        for n in $(seq 2 256); do printf '"COM%d"=""\n' "$n"; done
    } >"$reg"
    wine regedit /S "$reg" >/dev/null 2>&1
    # The ports are read when the Wine server starts.
    wineserver -k 2>/dev/null || true
    wineserver -w
}

# Sets the prefix's DPI (Wine's LogPixels, the system's and the user's: 96, 144, 192, ...)
# and the size of its Wine desktop ("WIDTHxHEIGHT"), making the prefix first if needed, and
# restarts its Wine server so that programs started next see them.
set_prefix_dpi() {
    local dpi="$1" desktop="$2" reg="$WINEPREFIX/vorda-dpi.reg"
    ensure_wineprefix
    {
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n'
        printf '"LogPixels"=dword:%08x\n\n' "$dpi"
        printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\n'
        printf '"LogPixels"=dword:%08x\n\n' "$dpi"
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="%s"\n' "$desktop"
    } >"$reg"
    wine regedit /S "$reg" >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w
}

# Creates the Wine prefix once (about ten seconds), under a lock so that parallel
# callers wait for one creation.
ensure_wineprefix() {
    mkdir -p "$VORDA_BUILD"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            say "creating the Wine prefix $WINEPREFIX"
            rm -rf "$WINEPREFIX"
            wineboot -i >/dev/null 2>&1
            wineserver -w
        fi
        if [ "$(cat "$WINEPREFIX/.vorda-ready" 2>/dev/null)" != "$VORDA_PREFIX_VERSION" ]; then
            configure_prefix
            echo "$VORDA_PREFIX_VERSION" >"$WINEPREFIX/.vorda-ready"
        fi
    ) 9>"$VORDA_BUILD/.wineprefix.lock"
}
