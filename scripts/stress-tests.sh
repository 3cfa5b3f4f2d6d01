#!/usr/bin/env bash
# Runs the test suite again and again under full CPU load, to catch tests
# that depend on timing.
#   scripts/stress-tests.sh [rounds] [-R regex]
# Builds the sanitizer build as the test command does, starts one busy loop
# per usable core, and runs every test (or those matching -R) up to `rounds`
# times (default 10) with one ctest job per core; a test stops repeating at
# its first failure. Prints every test that failed at least once with its
# output, the wall time and the slowest tests. On two cores:
#   taskset -c 0,1 scripts/stress-tests.sh 10
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=10
regex=""
while [ $# -gt 0 ]; do
  case "$1" in
    -R) [ $# -ge 2 ] || { echo "-R needs a regular expression" >&2; exit 2; }
        regex=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) rounds=$1; shift ;;
  esac
done
if ! [[ "$rounds" =~ ^[1-9][0-9]{0,3}$ ]]; then
  echo "rounds must be a number from 1 to 9999, not '$rounds'" >&2
  exit 2
fi
cores=$(nproc)  # the cores this process may use (taskset narrows it)

build=build/sanitize
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORIX_SANITIZE=ON >/dev/null
cmake --build "$build" -j "${JOBS:-$cores}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

busy_pids=()
xvfb_pid=""
ctest_pid=""
cleanup() {
  local pid
  if [ -n "$ctest_pid" ]; then kill "$ctest_pid" 2>/dev/null || true; fi
  for pid in "${busy_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${busy_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

. scripts/test-display.sh 100

# One busy loop per core, each its own child process, ended by its id.
for ((i = 0; i < cores; ++i)); do
  ( while :; do :; done ) &
  busy_pids+=("$!")
done

log="$build/stress-tests.log"
filter=()
[ -n "$regex" ] && filter=(-R "$regex")
echo "stress: $rounds rounds, $cores cores busy, ctest -j $cores${regex:+, tests matching '$regex'}; log in $log"
start=$(date +%s)
status=0
# In the background, so that a signal reaches the trap at once.
ctest --test-dir "$build" --repeat "until-fail:$rounds" -j "$cores" --timeout 600 --output-on-failure \
  "${filter[@]}" >"$log" 2>&1 &
ctest_pid=$!
wait "$ctest_pid" || status=$?
ctest_pid=""
elapsed=$(( $(date +%s) - start ))

python3 - "$log" <<'PY'
import re, sys
line_re = re.compile(r"^\s*(?:\d+/\d+ )?Test\s+#\d+: (\S+) .*?(Passed|\*\*\*[A-Za-z]+(?:: \S+)?|Not Run|Failed)\s+([0-9.]+) sec\s*$")
runs, longest, failed, output = {}, {}, [], {}
current = None
for line in open(sys.argv[1], errors="replace"):
    m = line_re.match(line)
    if m:
        name, verdict, seconds = m.group(1), m.group(2), float(m.group(3))
        runs[name] = runs.get(name, 0) + 1
        longest[name] = max(longest.get(name, 0.0), seconds)
        current = None
        if verdict not in ("Passed", "***Skipped"):  # a skip says why in its own output
            if name not in failed:
                failed.append(name)
            current = name
            output.setdefault(name, []).append(f"--- {verdict} ({seconds} sec)\n")
        continue
    if current is not None and not re.match(r"^\s*Start\s+\d+: ", line):
        if line.startswith(("The following tests FAILED", "Errors while running CTest")) or re.match(r"^\d+% tests passed", line):
            current = None
        else:
            output[current].append(line)
print(f"tests run: {len(runs)}, runs in all: {sum(runs.values())}")
print("slowest five (longest single run):")
for name in sorted(longest, key=longest.get, reverse=True)[:5]:
    print(f"  {longest[name]:8.2f} s  {name}")
if failed:
    print(f"FAILED at least once: {len(failed)} test(s)")
    for name in failed:
        print(f"==== {name}")
        sys.stdout.write("".join(output[name]))
PY
echo "wall time: ${elapsed} s"
if [ "$status" -ne 0 ]; then
  tail -n 20 "$log" | sed -n '/tests passed/,$p'
fi
exit "$status"
