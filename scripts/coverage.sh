#!/usr/bin/env bash
# Line and branch coverage of src/, folder by folder: a Debug build with
# --coverage (no sanitizers), the whole ctest suite, then gcovr.
#   scripts/coverage.sh [build-dir]     (default build/coverage)
# JOBS sets the build and ctest parallelism (default: every core).
# gcovr comes from: bash scripts/install-deps.sh --coverage
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/coverage}
jobs=${JOBS:-$(nproc)}
if ! command -v gcovr >/dev/null 2>&1; then
  echo "gcovr is missing: bash scripts/install-deps.sh --coverage" >&2
  exit 2
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORIX_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j "$jobs"

# Counters from an earlier run would add up with this one.
find "$build" -name '*.gcda' -delete

. scripts/test-display.sh 100
cleanup() { if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT

status=0
ctest --test-dir "$build" -j "$jobs" --timeout 300 --output-on-failure || status=$?

# Only this build's counters (other build folders may hold some too).
# Branches that only an exception can take are left out: every call that can
# throw has one, and they would drown the branches the code itself decides.
gcovr --root . --object-directory "$build" --filter 'src/' --exclude-throw-branches \
  --exclude-directories '.*/CMakeFiles/[0-9][0-9.]*' \
  -j "$jobs" --json-summary "$build/coverage-summary.json" "$build" >/dev/null

python3 - "$build/coverage-summary.json" <<'PY'
import json, sys
folders = {}
for f in json.load(open(sys.argv[1]))["files"]:
    parts = f["filename"].split("/")
    key = parts[1] if len(parts) > 2 else "(src)"
    t = folders.setdefault(key, [0, 0, 0, 0])
    t[0] += f["line_covered"]; t[1] += f["line_total"]
    t[2] += f["branch_covered"]; t[3] += f["branch_total"]
def pct(a, b):
    return f"{100.0 * a / b:6.1f}" if b else "     -"
print(f"{'folder':<16}{'lines':>8}{'line %':>8}{'branches':>10}{'branch %':>10}")
total = [0, 0, 0, 0]
for key in sorted(folders):
    t = folders[key]
    total = [a + b for a, b in zip(total, t)]
    print(f"{key:<16}{t[1]:>8}{pct(t[0], t[1]):>8}{t[3]:>10}{pct(t[2], t[3]):>10}")
print(f"{'total':<16}{total[1]:>8}{pct(total[0], total[1]):>8}{total[3]:>10}{pct(total[2], total[3]):>10}")
PY

if [ "$status" -ne 0 ]; then
  echo "some tests failed; the figures above are from the tests that ran" >&2
fi
exit "$status"
