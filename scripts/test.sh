#!/usr/bin/env bash
# Installs what is missing, builds Zimbrel with its tests and benchmarks, and
# runs every test, the ones against a real JACK server and X server included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$(nproc)"
ctest --test-dir build/test --output-on-failure --timeout 300 "$@"
