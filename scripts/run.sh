#!/usr/bin/env bash
# Installs what is missing, builds Quorix and runs it (desktop mode; VR is used when a runtime is present).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORIX_BUILD_TESTS=OFF -DQUORIX_BUILD_BENCH=OFF
cmake --build build/release --target Quorix
exec build/release/Quorix "$@"
