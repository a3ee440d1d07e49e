#!/bin/sh
# One end-to-end case of vantor-setup under Wine:
#
#   setup_test.sh CASE XDIR PROBE EMULATOR...
#
# XDIR is the X server's folder (xvfb.sh), PROBE the program that starts
# vantor-setup, drives its controls and reads the store (setup_probe.cpp),
# EMULATOR the command that runs a Windows program in the tests' Wine
# prefix. Keys are pressed through the X server, by X key code (those of
# Xvfb's keyboard: 39 is S, 62 Right Shift), into the key dialog given the
# X input focus first: Wine takes them as it takes a keyboard's, scan code
# and extended flag included, which is what tells the two Shift keys apart.
set -eu
case_name=$1
xdir=$2
probe=$3
shift 3
DISPLAY=$(cat "$xdir/display")
export DISPLAY

# Runs a Windows program. The Wine processes a step starts (vantor-setup,
# the desktop's own process) outlive it and keep what it writes to open:
# that is a file, not CTest's pipe, which CTest would wait for them to
# close.
output="$xdir/$case_name.out"
win() {
    status=0
    "$@" >"$output" 2>&1 </dev/null || status=$?
    cat "$output"
    return "$status"
}

# The screen's DPI, which a case may change for the prefix, and put back.
set_dpi() {
    win "$@" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
}
dpi=96
# A case that fails leaves no vantor-setup behind, and the DPI as it was.
trap 'status=$?
      [ "$status" -eq 0 ] || win "$@" "$probe" stop
      [ "$dpi" -eq 96 ] || { dpi=96; set_dpi "$@"; }
      exit "$status"' EXIT

# Presses one key into the key dialog.
press_key() {
    dialog=$(timeout 30 xdotool search --sync --onlyvisible --name '^Press a key$' | head -n1)
    timeout 10 xdotool windowfocus --sync "$dialog"
    xdotool key "$1"
}

# The X server has no window manager, which Wine would wait for (two
# seconds each time a window closes) while it manages the windows:
# vantor-setup's are left to Wine, which then also gives them the focus.
win "$@" reg add 'HKCU\Software\Wine\AppDefaults\vantor-setup.exe\X11 Driver' /v Managed /d N /f \
    >/dev/null

case "$case_name" in
rebind_apply)
    # Right Shift for Fire, a text and a number; Apply writes those and
    # nothing else: a value another program changed meanwhile stays.
    win "$@" "$probe" reset start wait-sheet write "WAV Volume=55" press Fire
    press_key 62
    win "$@" "$probe" expect-key Fire RShift page 1 expect-layout 96 \
        set "User Name" 'Zo\u00eb \u20ac5' set "MIDI Volume" 77 click apply \
        expect-store Fire=161 expect-store "User Name=Zo\u00eb \u20ac5" \
        expect-store "MIDI Volume=77" expect-store "WAV Volume=55" \
        click ok wait-exit
    ;;
conflict_cancel)
    # S for Fire is RotateTurretRight's key: both rows say so, and Swap
    # trades. A text the game cannot store is refused with its reason, a
    # second start leaves the first alone, and Cancel writes nothing.
    win "$@" "$probe" reset start wait-sheet press Fire
    press_key 39
    win "$@" "$probe" expect-key Fire S \
        expect-conflict Fire "Conflict: also RotateTurretRight" \
        expect-conflict RotateTurretRight "Conflict: also Fire" \
        expect-status keys "Swap gives RotateTurretRight Space" \
        click swap expect-key RotateTurretRight Space expect-conflict Fire "" \
        page 1 set "User Name" 'Caf\u00e9 \u03a9' \
        expect-status game 'User Name \u201c\u03a9\u201d is not a character the game can store' \
        click apply write "Lives=9" start-again expect-open \
        click cancel wait-exit \
        expect-store Fire=32 expect-store RotateTurretRight=83 \
        expect-store "User Name=Your Name Here" expect-store Lives=9
    ;;
layout_192dpi)
    # At twice the DPI the pages are twice the size, and every text still
    # has room; two rows marked as sharing a key have their longer text.
    dpi=192
    set_dpi "$@"
    win "$@" "$probe" reset write Brakes=16 write Turbo=160 start wait-sheet \
        expect-conflict Turbo "Conflict: also Brakes" page 1 expect-layout 192 \
        click cancel wait-exit
    ;;
*)
    echo "setup_test.sh: unknown case $case_name" >&2
    exit 2
    ;;
esac
