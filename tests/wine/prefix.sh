#!/bin/sh
# A real Wine prefix, made by wineboot, for the native tests that check the
# hive codec (and whatever else reads a prefix) against Wine itself:
#
#   prefix.sh ARCH PREFIX make            a fresh prefix, its server gone when this returns
#   prefix.sh ARCH PREFIX run PROGRAM...  a Windows program in it ("reg", "query", ...)
#   prefix.sh ARCH PREFIX stop            waits until its server has saved the registry and quit
#   prefix.sh ARCH PREFIX serve           starts its server to stay, as a running game keeps it
#   prefix.sh ARCH PREFIX kill            stops that server
#
# ARCH is win64 (wine64: on every machine with Wine) or win32 (the 32-bit
# loader: only where this machine runs 32-bit programs). Where the loader
# cannot run, "make" prints "wine prefix skipped" and makes nothing; the
# tests then skip too. The CTest fixtures wine_prefix_win64 and
# wine_prefix_win32 (tests/wine/CMakeLists.txt) run "make" once per test
# run and "stop" after the last test that needs them.
#
# The locale is UTF-8, so that the text on Wine's command lines and in its
# output is what the tests wrote; the ANSI code page stays 1252. Nothing is
# written outside the prefix: the runtime installers of a new prefix and the
# desktop menu builder are switched off, and Wine's XDG folders are in it.
set -eu
arch=$1
prefix=$2
action=$3
shift 3
case "$arch" in
win64) loader=/usr/lib/wine/wine64 ;;
win32) loader=/usr/lib/wine/wine ;;
*)
    echo "usage: prefix.sh win64|win32 PREFIX make|run PROGRAM...|stop|serve|kill" >&2
    exit 2
    ;;
esac
# One server serves both kinds of prefix; the 64-bit one runs everywhere.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32
export WINEARCH="$arch" WINEPREFIX="$prefix" WINELOADER="$loader" WINESERVER="$server"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8
export XDG_CONFIG_HOME="$prefix/xdg/config"
export XDG_DATA_HOME="$prefix/xdg/data"
export XDG_CACHE_HOME="$prefix/xdg/cache"

case "$action" in
make)
    if ! "$loader" --version >/dev/null 2>&1; then
        # A prefix an earlier run made is no prefix of this run's.
        rm -rf "$prefix"
        echo "wine prefix skipped: $loader does not run here (scripts/install-deps --test installs Wine; 32-bit Wine needs a kernel that runs 32-bit programs)"
        exit 0
    fi
    # A server left by a run cut short goes first; then a fresh prefix.
    "$server" -k >/dev/null 2>&1 || true
    "$server" -w
    rm -rf "$prefix"
    mkdir -p "$prefix"
    status=0
    "$loader" wineboot -i </dev/null >"$prefix.log" 2>&1 || status=$?
    "$server" -w
    if [ "$status" -ne 0 ] || [ ! -s "$prefix/system.reg" ]; then
        cat "$prefix.log"
        echo "wineboot failed ($status): no $prefix/system.reg" >&2
        exit 1
    fi
    ;;
run)
    exec "$loader" "$@"
    ;;
stop)
    # The server saves the registry when it quits, a few seconds after its
    # last program.
    "$server" -w
    ;;
serve)
    # It goes into the background, holding the prefix as while a game runs.
    "$server" -p </dev/null >/dev/null 2>&1
    ;;
kill)
    "$server" -k >/dev/null 2>&1 || true
    "$server" -w
    ;;
*)
    echo "usage: prefix.sh win64|win32 PREFIX make|run PROGRAM...|stop|serve|kill" >&2
    exit 2
    ;;
esac
