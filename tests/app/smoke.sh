#!/bin/bash
# End-to-end check of the real program on a virtual X display: the main window shows with its
# caption and something drawn in it, a second start ends at once without a window, and
# File > Exit This Application, reached with the keyboard, ends the program.
# Usage: smoke.sh PATH/TO/torvane
set -u

readonly CAPTION='Ostrel - Torvane v2.0'
readonly CAPTION_PATTERN='^Ostrel - Torvane v2\.0$'

if [[ $# -ne 1 || ! -x $1 ]]; then
    echo "usage: $0 PATH/TO/torvane" >&2
    exit 2
fi

# Outside a display of our own, start one and run again inside it.
if [[ -z ${TORVANE_SMOKE_DISPLAY:-} ]]; then
    for tool in xvfb-run xauth xdotool import convert; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is missing (scripts/test installs xvfb, xauth, xdotool and imagemagick)" >&2
            exit 77
        fi
    done
    exec xvfb-run -a -s '-screen 0 1280x1024x24 -nolisten tcp' env TORVANE_SMOKE_DISPLAY=1 "$0" "$@"
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A home, runtime folder and application folder of our own, so the instance lock, the report and
# anything else the program writes never touch the real ones. The program is copied there because
# the folder it runs from is its application folder.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        { kill -9 "$pid" && wait "$pid"; } 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/app" "$work/run"
chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
export XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache
unset QT_QPA_PLATFORM
cp "$1" "$work/app/torvane"
program=$work/app/torvane

now_ms() { echo $((${EPOCHREALTIME//[.,]/} / 1000)); }

# Shown windows with our caption. xdotool's own --sync polls only twice a second, too coarse to
# time a start-up, so this polls itself.
windows() { xdotool search --onlyvisible --name "$CAPTION_PATTERN" 2>/dev/null; }

# Waits up to $1 ms for our window and prints its id.
wait_for_window() {
    local deadline=$(($(now_ms) + $1)) found
    while (($(now_ms) < deadline)); do
        found=$(windows | head -n 1)
        [[ -n $found ]] && echo "$found" && return 0
        sleep 0.01
    done
    return 1
}

# Waits up to $2 ms for process $1 to end; true when it has.
wait_for_end() {
    local deadline=$(($(now_ms) + $2))
    while kill -0 "$1" 2>/dev/null; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.02
    done
}

# --- Start-up: the window appears with its caption.
started=$(now_ms)
"$program" >"$work/first.log" 2>&1 &
first=$!
pids+=("$first")
if ! window=$(wait_for_window 20000); then
    fail "no window captioned '$CAPTION' within 20 s"
    cat "$work/first.log" >&2
    exit 1
fi
echo "start-up to a shown window: $(($(now_ms) - started)) ms"

# --- The window is drawn: a blank window is a single colour.
sleep 1   # the first paint follows the map
eval "$(xdotool getwindowgeometry --shell "$window")"
if import -window root "$work/screen.png" 2>"$work/import.log"; then
    colours=$(convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -format %k info:)
    echo "window ${WIDTH}x${HEIGHT} at ${X},${Y}: $colours colours"
    ((colours >= 16)) || fail "the window looks blank ($colours colours)"
else
    fail "no screenshot: $(cat "$work/import.log")"
fi

# --- A second start ends at once, shows no window and leaves the first one alone.
"$program" >"$work/second.log" 2>&1 &
second=$!
pids+=("$second")
most=0
deadline=$(($(now_ms) + 5000))
while kill -0 "$second" 2>/dev/null && (($(now_ms) < deadline)); do
    count=$(windows | wc -l)
    ((count > most)) && most=$count
    sleep 0.02
done
if kill -0 "$second" 2>/dev/null; then
    fail "a second start still runs after 5 s"
else
    wait "$second"
    status=$?
    echo "second start ended with exit code $status"
    ((status == 0)) || fail "the second start ended with exit code $status"
fi
((most <= 1)) || fail "a second start showed a window of its own"
kill -0 "$first" 2>/dev/null || fail "the first instance ended when a second one started"

# --- File > Exit This Application through the keyboard: Alt+F opens File on its first entry,
# Down passes "Open XML Output" (separators are skipped) to "Exit This Application".
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.3
xdotool key --delay 150 alt+f Down Down Return
if wait_for_end "$first" 5000; then
    wait "$first"
    echo "File > Exit This Application ended the program (exit code $?)"
else
    fail "the program still runs 5 s after File > Exit This Application"
fi

((failures == 0)) || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
