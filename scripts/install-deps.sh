#!/usr/bin/env bash
# Installs the Debian 12 packages that Zimbrel needs to build and run, and
# with --tests also what the tests and benchmarks need. Installs only what is
# missing, so a second run costs nothing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev libgl-dev
    libasound2-dev libjack-jackd2-dev
    libx11-dev libxcb1-dev libxi-dev libxrandr-dev libxtst-dev
    xdg-utils fonts-dejavu-core
)
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(
        libgtest-dev libgmock-dev libbenchmark-dev
        xvfb xauth xdotool x11-xserver-utils x11-utils imagemagick
        jackd2 alsa-utils
        # The fuzz targets: clang with its libFuzzer and sanitizer runtimes.
        clang libclang-rt-14-dev
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
# jackd2 asks about real-time priority while installing; take its default.
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
