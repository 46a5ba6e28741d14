# VordaCen.exe under Wine for the scripts that measure it (bench, soak): starting it,
# finding its Linux process, its CPU time and its resident memory. Source it after
# common.sh, with the display and the prefix ready.

# The Linux processes of a program of our Wine prefix, by name (comm), e.g.
# "VordaCen.exe" or "wineserver64"; with a second argument, only those not in that list.
wine_process_pid() {
    local name="$1" not=" ${2:-} " p
    for p in $(pgrep -x "$name"); do
        [[ "$not" == *" $p "* ]] && continue
        { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" ||
            continue
        echo "$p"
        return 0
    done
    return 1
}

# CPU time of all threads of a process, in nanoseconds.
process_cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {printf "%.0f\n", ns}'
}

# Resident memory of a process, in kB.
process_rss_kb() {
    awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null
}

# Starts the Windows program $1 under Wine with start directory $2 (a Linux path) and
# sets VORDA_PROGRAM_PID to its process.
start_under_wine() {
    local exe dir="$2" name i p earlier=""
    exe=$(realpath "$1")
    name=$(basename "$exe")
    while p=$(wine_process_pid "$name" "$earlier"); do earlier="$earlier $p"; done
    (cd "$dir" && exec wine "$exe" >/dev/null 2>&1 </dev/null) &
    for i in $(seq 1 150); do
        if VORDA_PROGRAM_PID=$(wine_process_pid "$name" "$earlier"); then
            return 0
        fi
        sleep 0.2
    done
    say "$(basename "$exe") did not start under Wine"
    return 1
}

# A Windows path (Wine's drive Z:) for a Linux path.
windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}
