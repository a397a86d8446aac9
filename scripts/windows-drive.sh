#!/usr/bin/env bash
# Drives tarsun-editor.exe under Wine as a user would: the game folder chosen in the shell's
# dialog, the sample mod opened, one value raised, saved, and the program left. Every file
# must then hold exactly what the Linux program writes.
# Needs DISPLAY (an X server, no window manager) and WINEPREFIX; run by scripts/tarsun.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

# Waits up to 60 s for a mapped window of the program that the driver has not seen yet
# (of size $1 when given); prints its id and notes it as seen.
seen_windows=" "
wait_new_window() {
    local deadline=$((SECONDS + 60)) id WIDTH HEIGHT X Y SCREEN WINDOW
    while [ $SECONDS -lt $deadline ]; do
        for id in $(xdotool search --onlyvisible --class tarsun-editor 2>/dev/null); do
            [[ "$seen_windows" == *" $id "* ]] && continue
            if [ -n "${1:-}" ]; then
                eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
                [ "${WIDTH}x${HEIGHT}" = "$1" ] || continue
            fi
            seen_windows+="$id "
            echo "$id"
            return 0
        done
        sleep 0.2
    done
    echo "no new window of the program within 60 s (driver step: $step)" >&2
    return 1
}

# Clicks at x,y inside window $1 (its client area: Wine draws no frame without a window
# manager, and the program's windows have none).
click_in() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + $2)) $((Y + $3)) click 1
}

press_in() {
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key "$2"
}

# The program under Wine on the windows platform, driven as a user would: the game folder
# chosen in the shell's dialog, the sample mod opened, one value raised, saved, and the
# program left. Every file must then hold exactly what the Linux program writes.
windows_drive_program() {
    local exe=build/windows/tarsun-editor.exe wine=/usr/lib/wine/wine64 step=start
    local work game original
    work=$(mktemp -d)
    game="$work/Kestrelfall" original="$work/original"
    cp -r examples/Kestrelfall "$game"
    cp -r examples/Kestrelfall "$original"
    # The remembered folder is the game folder's parent, so the dialog opens there and the
    # user goes one level down in its tree.
    "$wine" reg add 'HKCU\Software\Tarsun Editor\Tarsun Editor' /v GameFolder /t REG_SZ /d "Z:${work//\//\\}" /f \
        >/dev/null 2>&1
    "$wine" "$exe" >build/windows/program.log 2>&1 &
    local program=$! dialog chooser box main save
    seen_windows=" "
    step="the shell's folder dialog"
    dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Browse for Folder$' | head -1)
    [ -n "$dialog" ] || { echo "the folder dialog did not map" >&2; return 1; }
    press_in "$dialog" Right && press_in "$dialog" Right && press_in "$dialog" Return
    step="the mod chooser"
    chooser=$(wait_new_window 179x130) || return 1
    click_in "$chooser" 20 30 && press_in "$chooser" End && press_in "$chooser" Return
    step="the question to edit the mod"
    box=$(wait_new_window) || return 1
    press_in "$box" Return
    step="the main window"
    main=$(wait_new_window 449x360) || return 1
    xwd -id "$main" -silent | xwdtopnm 2>/dev/null | pnmtopng >build/windows/main-window.png
    click_in "$main" 224 117     # the soldier friendly-fire spinner's lower arrow: one up
    click_in "$main" 390 68      # the save picture
    step="the save window"
    save=$(wait_new_window 179x155) || return 1
    click_in "$save" 133 137     # Save
    step="the question to save"
    box=$(wait_new_window) || return 1
    press_in "$box" Return
    step="the main window back"
    local deadline=$((SECONDS + 60))
    until xdotool search --onlyvisible --class tarsun-editor 2>/dev/null | grep -qx "$main"; do
        [ $SECONDS -lt $deadline ] || { echo "the main window did not come back" >&2; return 1; }
        sleep 0.2
    done
    step="the exit question"
    click_in "$main" 437 11      # the exit picture
    box=$(wait_new_window) || return 1
    press_in "$box" Return
    step="the end of the program"
    deadline=$((SECONDS + 60))
    while kill -0 "$program" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || { echo "the program did not end" >&2; return 1; }
        sleep 0.2
    done

    # The oracle: the original with that one value raised, every other byte the same.
    python3 - "$original/mods/TarsunSample/Settings/ServerSettings.CON" <<'PY' || return 1
import sys
path = sys.argv[1]
data = open(path, "rb").read()
assert data.count(b"sv.soldierFriendlyFire 75") == 1, "the sample no longer holds the value the driver raises"
open(path, "wb").write(data.replace(b"sv.soldierFriendlyFire 75", b"sv.soldierFriendlyFire 76"))
PY
    if ! diff -r "$original" "$game"; then
        echo "The files the Windows program left differ from what is expected (above)." >&2
        return 1
    fi
    rm -rf "$work"
}

windows_drive_program
