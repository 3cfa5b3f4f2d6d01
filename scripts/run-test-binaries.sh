#!/usr/bin/env bash
# Runs every test binary of a build whole, one process each, as a developer
# runs one, from a scratch working folder (never the build's own).
#
# ctest gives each test a process of its own; run whole, a binary's tests
# share one, so whatever a test leaves for the next (threads, children,
# hooks, a script that outlives its test's locals) shows only here. The
# binaries run side by side, e2e_tests last and alone (the program holds a
# per-user lock, as under ctest). For each failing binary the tail of its
# output is printed; the exit status is 1 when any failed.
#
# Usage: scripts/run-test-binaries.sh <build folder> [parallel]
# The environment (DISPLAY, ASAN_OPTIONS...) is the caller's.
set -uo pipefail
build="$(cd "${1:?build folder}" && pwd)"
parallel="${2:-$(nproc)}"

mapfile -t binaries < <(find "$build/tests" -name '*_tests' -type f -perm -u+x | sort)
if [ "${#binaries[@]}" -eq 0 ]; then
  echo "no test binaries under $build/tests"
  exit 1
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quorix-whole-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

run_one() {
  local binary="$1" name log status
  name="$(basename "$binary")"
  log="$scratch/$name.log"
  mkdir -p "$scratch/$name.cwd"
  (cd "$scratch/$name.cwd" && "$binary" >"$log" 2>&1)
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAILED (status $status) whole: $binary"
    # Each failed test's own output, then the end of the run (a sanitizer
    # report or a crash lands there).
    awk '/^\[ RUN      \]/ { block = "" }
         { block = block $0 "\n" }
         /^\[  FAILED  \] .*\(/ { printf "%s", block; block = "" }' "$log" | head -n 200
    tail -n 40 "$log"
    return 1
  fi
  echo "passed whole: $name ($(grep -m1 -oE '[0-9]+ tests? from [0-9]+ test suites? ran' "$log"))"
}

failed=0
pids=()
for binary in "${binaries[@]}"; do
  [ "$(basename "$binary")" = e2e_tests ] && continue
  # At most `parallel` at once; every status is collected by its pid below.
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  run_one "$binary" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
for binary in "${binaries[@]}"; do
  if [ "$(basename "$binary")" = e2e_tests ]; then run_one "$binary" || failed=1; fi
done
exit "$failed"
