#!/usr/bin/env bash
# Builds and runs every test suite:
#   0. a check that the sources are formatted as .clang-format says;
#   1. the native suite (release build);
#   2. the same suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. one typical conversion under valgrind's memcheck;
#   4. a bounded libFuzzer run (MIRNOD_FUZZ_SECONDS, default 60);
#   5. the Windows program's suite under Wine.
# A stage whose tools are missing is skipped with a note, except in CI (CI=true), where every
# stage must run. The benchmarks are built, not run.
set -euo pipefail
cd "$(dirname "$0")/.."

# have COMMAND PACKAGE: true when COMMAND is there; otherwise a note, or a failure in CI.
have() {
    if command -v "$1" >/dev/null || [ -x "$1" ]; then
        return 0
    fi
    if [ "${CI:-}" = true ]; then
        echo "missing $1 (Debian package $2)" >&2
        exit 1
    fi
    echo "skipped: $1 is missing (Debian package $2)"
    return 1
}

if have clang-format clang-format; then
    echo "== formatting"
    clang-format --dry-run -Werror $(git ls-files '*.cpp' '*.h')
fi

echo "== native suite"
cmake --workflow --preset test
cmake --preset bench >/dev/null && cmake --build --preset bench

echo "== sanitizer suite"
cmake --workflow --preset sanitize

if have valgrind valgrind; then
    echo "== memcheck"
    out=$(mktemp -d)
    # "Still reachable" is left out: it is the C++ runtime's own emergency exception pool.
    valgrind -q --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite,indirect,possible build/release/mirnod sample.vag "$out"
    rm -rf "$out"
fi

if have clang++ clang; then
    echo "== fuzzing"
    cmake --preset fuzz >/dev/null && cmake --build --preset fuzz
    seeds=build/fuzz-seeds
    corpus=build/fuzz-corpus
    rm -rf "$seeds" && mkdir -p "$seeds" "$corpus"
    build/fuzz/tests/fuzz/make_seeds "$seeds"
    build/fuzz/tests/fuzz/convert_fuzzer -max_total_time="${MIRNOD_FUZZ_SECONDS:-60}" \
        -timeout=10 -print_final_stats=1 "$corpus" "$seeds"
fi

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if have x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64 && have "$wine" wine64; then
    echo "== Windows suite under Wine"
    # One Wine prefix and one Wine server for the whole suite: starting them is the slow part.
    export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot --init
        "$wineserver" -w
    fi
    "$wineserver" -p
    trap '"$wineserver" -k || true' EXIT
    # Wine's first process starts its background services, which keep running with that
    # process's output open. Start them here on /dev/null, or a test whose output is read to the
    # end would wait for them.
    "$wine" wineboot </dev/null >/dev/null 2>&1
    cmake --workflow --preset windows
fi
