#!/usr/bin/env bash
# Builds and runs every test stage, in this order:
#   packages    installs what the stages need (as root), or says what to install;
#   formatting  the sources are formatted as .clang-format says;
#   native      the unit and end-to-end suites (release build, with the tests);
#   install     the man page's lint, and `cmake --install` of the release build;
#   bench       the benchmarks build (they are not run here);
#   sanitizers  the same suites under AddressSanitizer and UndefinedBehaviorSanitizer;
#   memcheck    one conversion of the bundled sample under valgrind;
#   fuzzing     a bounded libFuzzer run (MIRNOD_FUZZ_SECONDS, default 60);
#   windows     the Windows program's suites under Wine;
#   release     the Windows release zip: its contents, and its mirnod.exe on the bundled sample;
#   cross       the unit suite cross-built for aarch64 and s390x (big-endian), under qemu-user.
# Any failure stops the script with a message naming the stage and the command that failed.
# It never reads standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null

current_stage=setup
stage() {
    current_stage=$1
    echo
    echo "== $1: $2"
}
trap 'status=$?; echo "FAILED in stage \"$current_stage\": \`$BASH_COMMAND\` exited with $status" >&2' ERR

# fail MESSAGE: stops the script with a message, in the current stage.
fail() {
    echo "FAILED in stage \"$current_stage\": $1" >&2
    exit 1
}

scratch=$(mktemp -d)
wineserver=/usr/lib/wine/wineserver
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
        "$wineserver" -k 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

stage packages "the Debian packages for every stage"
tools/deps.sh test

stage formatting "clang-format over src, tests, tools and bench"
mapfile -t sources < <(find src tests tools bench -name '*.cpp' -o -name '*.h' | sort)
[ ${#sources[@]} -gt 0 ] || fail "no source files found"
clang-format --dry-run -Werror "${sources[@]}"
echo "${#sources[@]} files formatted"

stage native "unit and end-to-end suites, release build"
cmake --workflow --preset test

stage install "man page lint and cmake --install"
mandoc -T lint -W warning doc/mirnod.1
cmake --workflow --preset build
cmake --install build/release --prefix "$scratch/prefix" >/dev/null
for installed in bin/mirnod share/man/man1/mirnod.1 share/doc/mirnod/README.md \
    share/doc/mirnod/LICENSE; do
    [ -f "$scratch/prefix/$installed" ] || fail "cmake --install did not install $installed"
done
[ "$("$scratch/prefix/bin/mirnod" --version)" = "mirnod ver.0.1a by ravoku." ] ||
    fail "the installed mirnod does not print its banner"

stage bench "the benchmarks build"
cmake --preset bench >/dev/null
cmake --build --preset bench

stage sanitizers "the suites under ASan and UBSan"
cmake --workflow --preset sanitize

stage memcheck "the bundled sample under valgrind"
# "Still reachable" is left out: it is the C++ runtime's own emergency exception pool.
mkdir -p "$scratch/memcheck"
valgrind -q --error-exitcode=1 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect,possible \
    build/release/mirnod samples/sample.vag "$scratch/memcheck"
[ -f "$scratch/memcheck/sample.wav" ] || fail "no sample.wav under valgrind"

stage fuzzing "libFuzzer for ${MIRNOD_FUZZ_SECONDS:-60} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
seeds=build/fuzz-seeds
corpus=build/fuzz-corpus
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
build/fuzz/tests/fuzz/make_seeds "$seeds"
build/fuzz/tests/fuzz/convert_fuzzer -max_total_time="${MIRNOD_FUZZ_SECONDS:-60}" \
    -timeout=10 -print_final_stats=1 "$corpus" "$seeds"

stage windows "the Windows program's suites under Wine"
wine=/usr/lib/wine/wine64
# One Wine prefix and one Wine server for the whole run: starting them is the slow part.
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
fi
# It exits with 2 when a server for this prefix runs already, which is as good.
"$wineserver" -p || [ $? -eq 2 ]
# Wine's first process starts its background services, which keep running with that process's
# output open. Start them here on /dev/null, or a test whose output is read to the end would
# wait for them.
"$wine" wineboot >/dev/null 2>&1
cmake --workflow --preset windows

stage release "the Windows release zip"
cmake --workflow --preset windows-release
zips=(build/windows-release/mirnod-*-win64.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "no single mirnod-*-win64.zip was made"
zip=$(realpath "${zips[0]}")
top=$(basename "$zip" .zip)
listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | tr '\n' ' ')
expected="$top/LICENSE.txt $top/README.txt $top/mirnod.exe "
[ "$listing" = "$expected" ] || fail "the zip holds '$listing', not '$expected'"
echo "$zip holds: $listing"
mkdir -p "$scratch/zip" "$scratch/linux"
(cd "$scratch/zip" && cmake -E tar xf "$zip")
unpacked=$scratch/zip/$top
for text in README.txt LICENSE.txt; do
    if grep -q $'[^\r]$' "$unpacked/$text" || grep -q '^$' "$unpacked/$text"; then
        fail "$text has a line that does not end in CR LF"
    fi
done
# The Windows program writes beside itself; its output must equal the Linux program's.
report=$("$wine" "$unpacked/mirnod.exe" "Z:$PWD/samples/sample.vag" | tr -d '\r')
case "$report" in
*"done.") ;;
*) fail "mirnod.exe from the zip printed: $report" ;;
esac
build/release/mirnod samples/sample.vag "$scratch/linux" >/dev/null
cmp "$unpacked/sample.wav" "$scratch/linux/sample.wav" ||
    fail "mirnod.exe from the zip and the Linux program wrote different files"
echo "mirnod.exe from the zip converted the sample, byte for byte as on Linux"

stage cross "the unit suite on aarch64 and s390x under qemu-user"
cmake --workflow --preset aarch64
cmake --workflow --preset s390x

echo
echo "== every stage passed"
