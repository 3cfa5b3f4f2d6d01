#!/usr/bin/env bash
# Installs what is missing, builds Quorix with AddressSanitizer and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The tree is compiled three times (sanitizers, Release, clang) and the
# ThreadSanitizer pass a fourth: a compiler cache makes a repeated run, even in
# a fresh clone (paths are hashed relative to the clone), compile only what
# changed. Build folders configured before keep what they were configured with.
if command -v ccache >/dev/null 2>&1 && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi

# Every build is quiet: a warning line from CMake, a compiler or the linker
# (shown as the build prints it) fails the test command, warnings that are not
# errors among them. A compiler cache replays a cached compile's warnings.
quiet() {
  local log
  log=$(mktemp)
  local status=0
  "$@" 2>&1 | tee "$log" || status=$?
  if [ "$status" -eq 0 ] && grep -Eq '(^|[^[:alnum:]_])[Ww]arning:|CMake ([A-Za-z]+ )?Warning' "$log"; then
    echo "the build printed warnings (see above): $*" >&2
    status=1
  fi
  rm -f "$log"
  return "$status"
}

build=build/sanitize
quiet cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORIX_SANITIZE=ON
quiet cmake --build "$build" -j "$(nproc)"

# g++ gives some warnings only when optimising (uninitialised reads, mismatched
# allocation pairs), and the program's warnings are errors: every target also
# compiles in the Release configuration that users run and benchmarks are
# measured in, and its suite runs below. (The run command configures this
# folder without tests; they are turned back on here.)
release=build/release
quiet cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORIX_BUILD_TESTS=ON -DQUORIX_BUILD_BENCH=ON
quiet cmake --build "$release" -j "$(nproc)"

# The libFuzzer entry points, built by clang as docs/development.md shows;
# clang warns about ignored [[nodiscard]] results where g++ does not.
fuzz=build/fuzz
CC=clang CXX=clang++ quiet cmake -S . -B "$fuzz" -G Ninja -DQUORIX_FUZZ=ON
quiet cmake --build "$fuzz" -j "$(nproc)" --target fuzzers

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Tests get their own display, so nothing reaches a real desktop.
. scripts/test-display.sh 90
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT

# Each benchmark runs once, briefly, to show it still runs; nothing is asserted.
for bench in "$build"/bench/*_bench; do
  [ -x "$bench" ] || continue
  extra=()
  # The history store and homophone benchmarks fill their stores first; --smoke keeps them
  # small. The wire benchmark's reconnect storms take 41 s: only its GET cases.
  case "$(basename "$bench")" in
    history_store_bench | homophone_bench | history_export_bench) extra=(--smoke) ;;
    wire_bench) extra=(--benchmark_filter=Get) ;;
  esac
  ASAN_OPTIONS=detect_leaks=0 "$bench" "${extra[@]}" --benchmark_min_time=0.001 >/dev/null 2>&1 || { echo "benchmark failed: $bench"; exit 1; }
done

# The service connection's threads, the sign-in worker, the history session
# and message sync, and the conversion worker once more under
# ThreadSanitizer: only the phone-service tests, the platform's HTTPS,
# WebSocket, child and worker process tests and its concurrent durable
# replaces, the chat tests of the sign-in worker, the
# auth helper, the history session and the sync, the avatar cache, and the text input tests are
# built and run, so this stays short. No suppressions are needed.
tsan=build/tsan
quiet cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORIX_TSAN=ON -DQUORIX_BUILD_BENCH=OFF
quiet cmake --build "$tsan" -j "$(nproc)" --target phone_service_tests platform_tests chat_tests text_input_tests session_owner_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan"/tests/phone_service/phone_service_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan"/tests/platform/platform_tests --gtest_filter='Wss*:Https*:ProcessHandle*:WorkerProcess*:DurableReplace.Concurrent*'
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan"/tests/chat/chat_tests --gtest_filter='VrSignIn*:AuthHelper*:SyncTest.*:AvatarCache*'
# Without a display, so that the desktop-mode owner stays records: GTK's
# font start-up thread is not instrumented.
env -u DISPLAY TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan"/tests/session_owner/session_owner_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan"/tests/text_input/text_input_tests

# The lock annotations, checked by clang++ (when installed) over src/.
bash scripts/thread_safety_check.sh

# The whole suite in the AddressSanitizer build, each test in a process of
# its own.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300

# Then every test binary of it whole, one process each, from a scratch folder,
# as a developer runs one: what a test leaves for the next shows only there.
# A script or callback still writing to a finished test's locals is caught by
# the stack-use-after-return check, which ctest's short processes rarely meet.
ASAN_OPTIONS="$ASAN_OPTIONS:detect_stack_use_after_return=1" bash scripts/run-test-binaries.sh "$build"

# Last, the whole suite in the Release build that users run: an optimised
# build reuses freed memory at once and runs threads at other speeds.
ctest --test-dir "$release" --output-on-failure -j "$(nproc)" --timeout 300

