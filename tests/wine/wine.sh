#!/bin/sh
# Runs Wine for the test suite, in a prefix of the suite's own:
#
#   wine.sh PREFIX start          create the prefix if needed, start its server
#   wine.sh PREFIX run PROGRAM... run a Windows program in it
#   wine.sh PREFIX stop           stop the server and every Wine process
#
# A 32-bit prefix: the DLL is 32-bit, and so its registry paths are the plain
# ones (no 32-bit view under Wow6432Node). The locale is fixed so that the
# ANSI code page, and with it text conversion, is the same on every machine.
# Nothing is installed or written outside the prefix: the runtime installers
# of a new prefix (which would try to download) and the desktop menu builder
# are switched off.
set -eu
export WINEPREFIX="$1"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C
# Wine also keeps desktop entries and caches in the user's XDG folders.
export XDG_CONFIG_HOME="$WINEPREFIX/xdg/config"
export XDG_DATA_HOME="$WINEPREFIX/xdg/data"
export XDG_CACHE_HOME="$WINEPREFIX/xdg/cache"
action=$2
shift 2

case "$action" in
run)
    exec wine "$@"
    ;;
start)
    mkdir -p "$WINEPREFIX"
    # The server, and the Windows services that wineboot starts, outlive
    # this script: they must not hold on to its output, or CTest would wait
    # for them to exit. Their output goes to a log beside the prefix.
    log="$WINEPREFIX.log"
    # A server left by a run that was cut short is stopped first.
    wineserver -k </dev/null >"$log" 2>&1 || true
    wineserver -w
    # Stays up for the whole suite; goes by itself 60 s after its last
    # client should the stop step never run.
    wineserver -p60 </dev/null >>"$log" 2>&1
    # Creates the prefix on first use (this takes seconds and prints set-up
    # messages); later runs find it ready.
    status=0
    wineboot -i </dev/null >>"$log" 2>&1 || status=$?
    cat "$log"
    exit "$status"
    ;;
stop)
    wineserver -k || true
    wineserver -w
    ;;
*)
    echo "usage: wine.sh PREFIX start|run PROGRAM...|stop" >&2
    exit 2
    ;;
esac
