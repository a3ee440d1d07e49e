#!/bin/sh
# Starts or stops the Wine prefix of the test suite (WINEPREFIX, set by the
# caller): prefix.sh start|stop WINEBOOT WINESERVER
set -eu
action=$1
wineboot=$2
wineserver=$3

case "$action" in
start)
    mkdir -p "$WINEPREFIX"
    # The server, and the Windows services that wineboot starts, outlive
    # this script: they must not hold on to its output, or CTest would wait
    # for them to exit. Their output goes to a log beside the prefix.
    log="$WINEPREFIX.log"
    # Stays up for the whole suite; goes by itself 60 s after its last
    # client should the stop step never run.
    "$wineserver" -p60 </dev/null >"$log" 2>&1
    # Creates the prefix on first use (this takes seconds and prints set-up
    # messages); later runs find it ready.
    status=0
    "$wineboot" -i </dev/null >>"$log" 2>&1 || status=$?
    cat "$log"
    exit "$status"
    ;;
stop)
    "$wineserver" -k || true
    "$wineserver" -w
    ;;
*)
    echo "usage: prefix.sh start|stop WINEBOOT WINESERVER" >&2
    exit 2
    ;;
esac
