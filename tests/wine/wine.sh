#!/bin/sh
# Runs Wine for the test suite, in a prefix of the suite's own:
#
#   wine.sh ARCH LOADER SERVER PREFIX start          create the prefix if needed, start its server
#   wine.sh ARCH LOADER SERVER PREFIX run PROGRAM... run a Windows program in it
#   wine.sh ARCH LOADER SERVER PREFIX stop           stop the server and every Wine process
#
# ARCH is win32 (the 32-bit DLL, under the 32-bit LOADER, whose registry
# paths are the plain ones) or win64 (the x64 build under wine64, where the
# game's keys live in the 32-bit view under WOW6432Node). LOADER and SERVER
# are the Wine loader and server to call by path. The locale is fixed so
# that the ANSI code page, and with it text conversion, is the same on every
# machine. Nothing is installed or written outside the prefix: the runtime
# installers of a new prefix (which would try to download) and the desktop
# menu builder are switched off.
set -eu
export WINEARCH="$1"
export WINELOADER="$2"
export WINESERVER="$3"
export WINEPREFIX="$4"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C
# Wine also keeps desktop entries and caches in the user's XDG folders.
export XDG_CONFIG_HOME="$WINEPREFIX/xdg/config"
export XDG_DATA_HOME="$WINEPREFIX/xdg/data"
export XDG_CACHE_HOME="$WINEPREFIX/xdg/cache"
action=$5
shift 5

case "$action" in
run)
    exec "$WINELOADER" "$@"
    ;;
start)
    mkdir -p "$WINEPREFIX"
    # The server, and the Windows services that wineboot starts, outlive
    # this script: they must not hold on to its output, or CTest would wait
    # for them to exit. Their output goes to a log beside the prefix.
    log="$WINEPREFIX.log"
    # A server left by a run that was cut short is stopped first.
    "$WINESERVER" -k </dev/null >"$log" 2>&1 || true
    "$WINESERVER" -w
    # Stays up for the whole suite; goes by itself 60 s after its last
    # client should the stop step never run.
    "$WINESERVER" -p60 </dev/null >>"$log" 2>&1
    # Creates the prefix on first use (this takes seconds and prints set-up
    # messages); later runs find it ready.
    status=0
    "$WINELOADER" wineboot -i </dev/null >>"$log" 2>&1 || status=$?
    cat "$log"
    exit "$status"
    ;;
stop)
    "$WINESERVER" -k || true
    "$WINESERVER" -w
    ;;
*)
    echo "usage: wine.sh ARCH LOADER SERVER PREFIX start|run PROGRAM...|stop" >&2
    exit 2
    ;;
esac
