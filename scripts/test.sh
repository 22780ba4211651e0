#!/usr/bin/env bash
# Installs what is missing, builds Zimbrel with its tests and benchmarks, and
# runs every test, the ones against a real JACK server and X server included.
#
#   scripts/test.sh [--debian RELEASE] [--sanitizers | --asan] [--fuzz] [--ci]
#                   [--repeat N] [--load] [ctest arguments...]
#
#   --debian R    runs all of this, with the other arguments, in a chroot of
#                 Debian R (12 or 13) under build/debianR, made with
#                 debootstrap the first time; see scripts/debian-chroot.sh.
#   --sanitizers  then builds the whole suite again and runs every test under
#                 AddressSanitizer with UndefinedBehaviorSanitizer
#                 (build/asan) and under ThreadSanitizer (build/tsan). The
#                 first report fails the test it happens in. Benchmarks are
#                 not built there: they are measurements, not tests.
#   --asan        the same with AddressSanitizer alone.
#   --fuzz        then runs each fuzz target under fuzz/ for
#                 ZIMBREL_FUZZ_SECONDS (default 60) with libFuzzer,
#                 AddressSanitizer and UndefinedBehaviorSanitizer (build/fuzz,
#                 clang). A crash fails the run and leaves its input in
#                 build/fuzz/crashes/.
#   --ci          both; what .ci/run uses.
#   --repeat N    runs the suite (or the selection the ctest arguments make,
#                 e.g. -R 'MidiJack|pipewire') N times in a row and stops at
#                 the first run that fails; each run's time is printed.
#   --load        keeps two busy loops running beside the tests, as a loaded
#                 machine would, to shake out tests that pass only when the
#                 machine is idle.
#
# Suppressions for reports inside third-party libraries are kept in
# sanitizers/, one file per sanitizer; see the notes there.
set -euo pipefail
cd "$(dirname "$0")/.."

# The chroot lane is handed every argument but its own.
for ((i = 1; i <= $#; ++i)); do
    if [[ "${!i}" == --debian ]]; then
        next=$((i + 1))
        exec scripts/debian-chroot.sh "${!next:-}" "${@:1:i-1}" "${@:i+2}"
    fi
done

asan=0
tsan=0
fuzz=0
repeat=1
load=0
ctest_args=()
while (($#)); do
    case "$1" in
        --sanitizers) asan=1 tsan=1 ;;
        --asan) asan=1 ;;
        --fuzz) fuzz=1 ;;
        --ci) asan=1 tsan=1 fuzz=1 ;;
        --repeat)
            [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "--repeat takes a number of runs" >&2; exit 2; }
            repeat=$2
            shift
            ;;
        --load) load=1 ;;
        *) ctest_args+=("$1") ;;
    esac
    shift
done

scripts/install-deps.sh --tests
jobs=$(nproc)
launcher=()
# Paths relative to the clone, so that another clone of the same tree finds
# its objects in the cache too.
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
suppressions="$PWD/sanitizers"

# With --load, two busy loops from the first test run on, ended with the
# script however it ends.
busy=()
start_load() {
    ((load && ${#busy[@]} == 0)) || return 0
    for _ in 1 2; do
        (while :; do :; done) &
        busy+=($!)
    done
    trap 'kill "${busy[@]}" 2>/dev/null' EXIT
}

# build_and_test DIR [cmake options...]: configures, builds and runs the suite.
build_and_test() {
    local dir=$1
    shift
    echo "== $dir: building" >&2
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
    start_load
    local run started
    for ((run = 1; run <= repeat; ++run)); do
        echo "== $dir: testing (run $run of $repeat)" >&2
        started=$SECONDS
        if ! ctest --test-dir "$dir" --output-on-failure --timeout 300 "${ctest_args[@]}"; then
            echo "== $dir: run $run of $repeat failed" >&2
            return 1
        fi
        echo "== $dir: run $run of $repeat passed in $((SECONDS - started)) s" >&2
    done
}

SECONDS=0
build_and_test build/test

if ((asan)); then
    ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$suppressions/ubsan.supp" \
    LSAN_OPTIONS="suppressions=$suppressions/lsan.supp:print_suppressions=0" \
        build_and_test build/asan -DZIMBREL_SANITIZE=address,undefined -DZIMBREL_BUILD_BENCHMARKS=OFF
fi
if ((tsan)); then
    # symbolize=0: symbolizing starts an external symbolizer from the
    # reporting thread, and from JACK's real-time thread that stalls MIDI
    # past the tests' patience. Reports name module+offset; for names, run
    # the failing test again with TSAN_OPTIONS=symbolize=1. atexit_sleep_ms=0:
    # TSan otherwise waits a second in every exit, which the tests of how
    # fast the program ends would count.
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:symbolize=0:atexit_sleep_ms=0:suppressions=$suppressions/tsan.supp" \
        build_and_test build/tsan -DZIMBREL_SANITIZE=thread -DZIMBREL_BUILD_BENCHMARKS=OFF
fi

if ((fuzz)); then
    seconds=${ZIMBREL_FUZZ_SECONDS:-60}
    echo "== build/fuzz: building the fuzz targets with clang" >&2
    CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        -DZIMBREL_FUZZ=ON -DZIMBREL_BUILD_TESTS=OFF -DZIMBREL_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build build/fuzz -j"$jobs" --target fuzzers
    mkdir -p build/fuzz/crashes
    for fuzzer in build/fuzz/fuzz/*_fuzzer; do
        name=$(basename "$fuzzer" _fuzzer)
        # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
        work="build/fuzz/corpus/$name"
        mkdir -p "$work"
        dictionary=()
        [[ -f "fuzz/$name.dict" ]] && dictionary=("-dict=fuzz/$name.dict")
        echo "== fuzzing $name for $seconds s" >&2
        ASAN_OPTIONS="halt_on_error=1:detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
            "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 "${dictionary[@]}" \
            -artifact_prefix="build/fuzz/crashes/$name-" "$work" "fuzz/corpus/$name" \
            2>"build/fuzz/$name.log" || { tail -n 60 "build/fuzz/$name.log" >&2; exit 1; }
        grep -E "^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units" "build/fuzz/$name.log" | tail -n 3 >&2
    done
fi
echo "== all done in $((SECONDS / 60)) min $((SECONDS % 60)) s" >&2
