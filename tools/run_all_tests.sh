#!/usr/bin/env bash
# Builds and runs every test suite: the native one, then the Windows program's under Wine.
# Without the MinGW-w64 cross compiler and Wine the Windows suite is skipped, except in CI
# (CI=true), where it must run.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --workflow --preset test
# The benchmarks are not run here, only kept building.
cmake --preset bench >/dev/null && cmake --build --preset bench

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -x "$wine" ]; then
    if [ "${CI:-}" = true ]; then
        echo "the Windows suite needs g++-mingw-w64-x86-64 and wine64" >&2
        exit 1
    fi
    echo "Windows suite skipped: install g++-mingw-w64-x86-64 and wine64 to run it"
    exit 0
fi

# One Wine prefix and one Wine server for the whole suite: starting them is the slow part.
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init
    "$wineserver" -w
fi
"$wineserver" -p
trap '"$wineserver" -k || true' EXIT
# Wine's first process starts its background services, which keep running with that process's
# output open. Start them here on /dev/null, or a test whose output is read to the end would
# wait for them.
"$wine" wineboot </dev/null >/dev/null 2>&1
cmake --workflow --preset windows
