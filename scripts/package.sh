#!/usr/bin/env bash
# Installs what is missing, builds Zimbrel for release and makes its Debian
# package in build/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZIMBREL_BUILD_TESTS=OFF -DZIMBREL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
cpack --config build/release/CPackConfig.cmake -G DEB -B build/package
ls build/package/*.deb
