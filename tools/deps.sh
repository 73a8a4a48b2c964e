#!/usr/bin/env bash
# deps.sh build|test: makes sure the Debian packages for building the program (build) or for
# running every test stage (test, which includes build) are installed.
#
# As root, it installs what is missing with apt-get, after apt-get update. Otherwise it prints the
# one apt-get line that installs everything missing and exits with 1. This file is the one list of
# the packages the project needs: the README's commands and .ci/run all go through it.
set -euo pipefail

build_packages=(cmake ninja-build g++)
test_packages=(
    "${build_packages[@]}"
    libgtest-dev googletest   # the test framework, and its sources for the cross builds
    libbenchmark-dev          # the benchmarks are built with the tests
    clang libclang-rt-dev     # the fuzzer (libFuzzer and clang's sanitizer runtimes)
    clang-format              # the formatting check
    valgrind                  # memcheck
    mandoc                    # the man page's lint
    g++-mingw-w64-x86-64 wine64                   # the Windows program, run under Wine
    g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user  # other architectures, under qemu
)

case "${1:-}" in
build) wanted=("${build_packages[@]}") ;;
test) wanted=("${test_packages[@]}") ;;
*)
    echo "usage: tools/deps.sh build|test" >&2
    exit 2
    ;;
esac

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    if [ "$status" != installed ]; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "mirnod needs these Debian packages for '$1'; install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
echo "== installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q </dev/null
apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
