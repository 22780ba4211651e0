#!/usr/bin/env bash
# Installs what is missing, builds Zimbrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZIMBREL_BUILD_TESTS=OFF -DZIMBREL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target zimbrel
exec build/release/zimbrel "$@"
