#!/usr/bin/env bash
# One command for a fresh Debian 12 machine: installs what is missing, builds, and then either
# starts Vantry (run) or runs every test (test).
#
#   tools/setup.sh run [--demo] [-- ARGS...]   build and start Vantry (--demo: emulated servers on loopback)
#   tools/setup.sh test                        build twice (gcc; clang with ASan/UBSan and the fuzzers) and test;
#                                              the gcc build's tests include its Debian package
#   tools/setup.sh install                     build the Debian package alone (no test program) and install it
#
# The Qt tools packages compile the English translation of the windows; librsvg2-bin draws the
# sized icons, dpkg-dev finds the package's dependencies, appstream and desktop-file-utils check
# its desktop entry and metadata, lintian the package as a whole and groff its manual page.
# openbox is the window manager the window tests run under, on their own Xvfb.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-run}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)

packages=(cmake g++ clang libclang-rt-14-dev make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev dbus-daemon qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    libgtest-dev libbenchmark-dev libbz2-dev
    libxcb1-dev libxcb-xtest0-dev iproute2 util-linux xvfb openbox xauth x11-utils qstat
    librsvg2-bin dpkg-dev appstream desktop-file-utils lintian groff-base)

# What the package build alone needs.
package_packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libbz2-dev librsvg2-bin dpkg-dev groff-base)

# Root runs apt-get itself (a minimal system has no sudo); anyone else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "setup.sh: '$*' needs root: run this as root, or install sudo" >&2
        exit 1
    fi
}

install_missing() { # install_missing [PACKAGE...]; none: every package the tests need
    local missing=() wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${packages[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR [cmake args...]
    local dir=$1
    shift
    cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

case "$mode" in
run)
    install_missing
    cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    if [ "${1:-}" = --demo ]; then
        shift
        [ "${1:-}" = -- ] && shift
        # Only the program and the demo's emulators, not every test and benchmark.
        cmake --build "$here/build" -j"$jobs" --target vantry vantry-demo
        exec "$here/build/tools/demo/vantry-demo" "$@"
    fi
    [ "${1:-}" = -- ] && shift
    cmake --build "$here/build" -j"$jobs" --target vantry
    exec "$here/build/src/vantry" "$@"
    ;;
install)
    install_missing "${package_packages[@]}"
    cmake -S "$here" -B "$here/build-package" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRY_TESTS=OFF >/dev/null
    cmake --build "$here/build-package" -j"$jobs" --target package
    deb=$(ls -t "$here"/build-package/vantry_*.deb | head -n 1)
    # apt resolves the package's dependencies; a path it needs to see as a file, not a name.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
    echo "installed $(basename "$deb"): run 'vantry', or find Vantry in the desktop's menu"
    ;;
test)
    install_missing
    status=0
    echo "== build: gcc"
    build "$here/build"
    echo "== tests: gcc (private network namespace, loopback only)"
    summary=$(mktemp)
    "$here/tools/netns-run" ctest --test-dir "$here/build" --output-on-failure -j"$jobs" | tee -a "$summary" || status=1

    echo "== package build as the README gives it: the program alone, no test compiled"
    started=$(date +%s)
    if cmake -S "$here" -B "$here/build-package" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRY_TESTS=OFF >/dev/null &&
        cmake --build "$here/build-package" -j"$jobs" --target package >/dev/null &&
        ls "$here"/build-package/vantry_*.deb >/dev/null 2>&1; then
        compiled_tests=$(find "$here/build-package" \( -path '*/tests/*' -o -path '*/bench/*' -o -path '*/tools/*' \) -name '*.o' | wc -l)
        echo "package built in $(($(date +%s) - started)) s; test objects compiled: $compiled_tests"
        [ "$compiled_tests" -eq 0 ] || status=1
    else
        echo "package build failed"
        status=1
    fi

    echo "== build: clang with AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzers"
    CC=clang CXX=clang++ build "$here/build-asan" -DVANTRY_SANITIZE=ON -DVANTRY_FUZZ=ON
    echo "== tests: sanitizers"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$here/tools/netns-run" ctest --test-dir "$here/build-asan" --output-on-failure -j"$jobs" | tee -a "$summary" || status=1

    echo "== fuzzers: a short run each"
    for f in "$here"/build-asan/tests/fuzz/fuzz_*; do
        [ -f "$f" ] && [ -x "$f" ] || continue
        [ "$(basename "$f")" = fuzz_seeds ] && continue # writes seed files, not a fuzzer
        corpus=$(mktemp -d)
        log=$(mktemp)
        if "$f" -max_total_time=30 -print_final_stats=1 "$corpus" >"$log" 2>&1; then
            echo "$(basename "$f"): $(grep -E 'stat::number_of_executed_units' "$log" || true)"
        else
            tail -n 40 "$log"
            echo "fuzzer $(basename "$f") failed"
            status=1
        fi
        rm -rf "$corpus" "$log"
    done
    # Both builds' test programs, counted together.
    total=$(grep -oE 'tests failed out of [0-9]+' "$summary" | awk '{s += $5} END {print s + 0}')
    failed=$(grep -oE '[0-9]+ tests failed out of' "$summary" | awk '{s += $1} END {print s + 0}')
    rm -f "$summary"
    [ "$failed" -eq 0 ] || status=1
    echo "tests: $((total - failed)) passed, $failed failed"
    exit $status
    ;;
*)
    echo "usage: tools/setup.sh run [--demo] | test | install" >&2
    exit 2
    ;;
esac
