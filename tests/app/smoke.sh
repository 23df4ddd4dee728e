#!/bin/bash
# The real program on a virtual X display: its window shows drawn, a second start ends without one,
# Rename Files opens on the root volume with cmdALL's caption inside its frame, File > Exit ends it.
set -u

readonly CAPTION_PATTERN='^Ostrel - Torvane v2\.0$'

[[ $# -eq 1 && -x $1 ]] || { echo "usage: $0 PATH/TO/torvane" >&2; exit 2; }

# Outside a display of our own, start one and run again inside it.
if [[ -z ${TORVANE_SMOKE_DISPLAY:-} ]]; then
    if ! hash xvfb-run xauth xdotool import convert 2>/dev/null; then
        echo "SKIP: xvfb-run, xauth, xdotool, import or convert is missing (scripts/test installs them)" >&2
        exit 77
    fi
    exec xvfb-run -a -s '-screen 0 1280x1024x24 -nolisten tcp' env TORVANE_SMOKE_DISPLAY=1 "$0" "$@"
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Folders of our own, so the lock, the report and all else the program writes stay in them; the
# program is copied, as the folder it runs from is its application folder.
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p -m 700 "$work/home" "$work/app" "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
export XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache
unset QT_QPA_PLATFORM
cp "$1" "$work/app/torvane"
program=$work/app/torvane

now_ms() { echo $((${EPOCHREALTIME//[.,]/} / 1000)); }

# Shown windows with our caption; polled here, as xdotool's --sync is too coarse to time a start.
windows() { xdotool search --onlyvisible --name "$CAPTION_PATTERN" 2>/dev/null; }
untitled() { xdotool search --all --onlyvisible --pid "$first" --name '^ $' 2>/dev/null; }
size_of() { xdotool getwindowgeometry --shell "$1" | awk -F= '/^(WIDTH|HEIGHT)=/ { printf "%s%s", sep, $2; sep="x" }'; }
focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    sleep 0.3
}

# --- Start-up.
started=$(now_ms)
"$program" >"$work/first.log" 2>&1 &
first=$!
window=
while [[ -z $window ]] && (($(now_ms) < started + 20000)); do
    window=$(windows | head -n 1)
    sleep 0.01
done
if [[ -z $window ]]; then
    fail "no window captioned like $CAPTION_PATTERN within 20 s"
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

# --- A second start ends at once with exit code 0, shows no window and leaves the first alone.
"$program" >"$work/second.log" 2>&1 &
second=$!
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
    wait "$second" || fail "the second start ended with exit code $?"
fi
((most <= 1)) || fail "a second start showed a window of its own"
kill -0 "$first" 2>/dev/null || fail "the first instance ended when a second one started"

# --- Rename on the root volume. File > Process Drive puts "/" at the top of the tree; a drive
# past 12 GB asks first, and Cancel leaves the root there without a walk. A click on the root
# and Ctrl+L open the rename window (490 x 367, its title a blank, as is the box's).
menu_bar=$((HEIGHT - 5580 / 15))   # the main window's geometry, read for its screenshot
focus "$window"
xdotool key --delay 150 alt+f Return
rename_window=
deadline=$(($(now_ms) + 60000))
while [[ -z $rename_window ]] && (($(now_ms) < deadline)); do
    sleep 1
    for id in $(untitled); do
        if [[ $(size_of "$id") == 490x367 ]]; then
            rename_window=$id
        else
            echo "a box of size $(size_of "$id") before the walk: Cancel"
            xdotool windowfocus --sync "$id" 2>/dev/null
            xdotool key Escape
            sleep 0.5
        fi
    done
    if [[ -z $rename_window ]]; then
        xdotool mousemove --window "$window" 60 $((menu_bar + (840 + 240) / 15 + 9)) click 1
        sleep 0.3
        xdotool key ctrl+l
    fi
done
if [[ -z $rename_window ]]; then
    fail "no rename window on the root volume within 60 s"
else
    sleep 1   # the first paint follows the map
    eval "$(xdotool getwindowgeometry --shell "$rename_window")"
    if import -window root "$work/rename.png" 2>"$work/import.log"; then
        # "Rename the Entire Folder(s)" (cmdALL, 184 x 31 at 208,320): its dark text pixels must
        # keep clear of the frame on both sides; a caption too wide runs through it.
        read -r ink left right < <(convert "$work/rename.png" -crop "184x31+$((X + 208))+$((Y + 320))" +repage \
            -colorspace Gray -depth 8 txt:- | awk -F'[,: ]+' '
            NR > 1 && $2 >= 4 && $2 <= 26 {
                v = $0; sub(/.*gray\(/, "", v); sub(/\).*/, "", v)
                if (v + 0 < 110) { n++; if (min == "" || $1 < min) min = $1; if ($1 > max) max = $1 }
            }
            END { print n + 0, min + 0, max + 0 }')
        echo "rename window at ${X},${Y}: cmdALL text from column $left to $right of 0..183 ($ink dark pixels)"
        ((ink >= 100)) || fail "no caption drawn on cmdALL ($ink dark pixels)"
        ((left >= 4 && right <= 179)) || fail "the caption of cmdALL runs into its frame (columns $left to $right)"
    else
        fail "no screenshot of the rename window: $(cat "$work/import.log")"
    fi
    xdotool windowfocus --sync "$rename_window" 2>/dev/null
    xdotool key Escape
    sleep 0.5
    [[ -z $(untitled) ]] || fail "Escape did not close the rename window"
fi

# --- File > Exit This Application through the keyboard: Alt+F opens File on its first entry,
# Down passes "Open XML Output" (separators are skipped) to "Exit This Application".
focus "$window"
xdotool key --delay 150 alt+f Down Down Return
deadline=$(($(now_ms) + 5000))
while kill -0 "$first" 2>/dev/null && (($(now_ms) < deadline)); do
    sleep 0.02
done
kill -0 "$first" 2>/dev/null && fail "the program still runs 5 s after File > Exit This Application"

((failures == 0)) || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
