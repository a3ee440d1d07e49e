#!/bin/sh
# An X server for the vantor-setup tests:
#
#   xvfb.sh start DIR   start Xvfb on a free display; DIR/display gets ":N"
#   xvfb.sh stop DIR    stop it
#
# The server is started under `timeout`, so that it ends by itself should
# the stop step never run; its output goes to DIR/xvfb.log, so that CTest
# does not wait for it.
set -eu
dir=$2
case "$1" in
start)
    mkdir -p "$dir"
    [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -f "$dir/pid" "$dir/display" "$dir/number"
    timeout 600 Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp \
        3>"$dir/number" </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/pid"
    waited=0
    while [ ! -s "$dir/number" ]; do
        if [ "$waited" -ge 100 ] || ! kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
            echo "xvfb.sh: Xvfb did not start:" >&2
            cat "$dir/xvfb.log" >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    echo ":$(head -n1 "$dir/number")" >"$dir/display"
    echo "xvfb.sh: Xvfb on display $(cat "$dir/display")"
    ;;
stop)
    [ -f "$dir/pid" ] || exit 0
    pid=$(cat "$dir/pid")
    kill "$pid" 2>/dev/null || true
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 50 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    rm -f "$dir/pid"
    ;;
*)
    echo "usage: xvfb.sh start|stop DIR" >&2
    exit 2
    ;;
esac
