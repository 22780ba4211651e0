#!/usr/bin/env bash
# Installs the Debian packages that Zimbrel needs to build and run; with
# --package also what building its Debian package needs, and with --tests
# that and what the tests and benchmarks need. Installs only what is missing,
# so a second run costs nothing.
#
# Tested on Debian 12 (bookworm) and Debian 13 (trixie). The few names that
# differ between them are chosen here by the release /etc/os-release names;
# a newer Debian, or a distribution derived from Debian, gets Debian 13's
# names with a warning. The README lists the names on Ubuntu and Fedora.
set -euo pipefail

# shellcheck source=/dev/null
. /etc/os-release
like=" ${ID:-} ${ID_LIKE:-} "
if [[ "$like" != *" debian "* && "$like" != *" ubuntu "* ]]; then
    echo "install-deps.sh installs Debian packages with apt-get; on ${PRETTY_NAME:-this system}" \
        "install the packages the README names for it by hand" >&2
    exit 1
fi
release=13
if [[ "${ID:-}" == debian && "${VERSION_ID:-}" == 12 ]]; then
    release=12
elif [[ "${ID:-}" != debian || "${VERSION_ID:-}" != 13 ]]; then
    echo "install-deps.sh: ${PRETTY_NAME:-this system} is not a tested release (Debian 12 and 13 are);" \
        "trying Debian 13's package names" >&2
fi

packages=(
    cmake g++ make pkg-config
    qt6-base-dev libgl-dev
    libasound2-dev libjack-jackd2-dev liblo-dev
    libx11-dev libxcb1-dev libxi-dev libxrandr-dev libxtst-dev
    libpipewire-0.3-dev libsystemd-dev libwayland-dev qt6-wayland
    xdg-utils fonts-dejavu-core
)
if [[ "${1:-}" == "--package" || "${1:-}" == "--tests" ]]; then
    packages+=(dpkg-dev file)
fi
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(
        lintian desktop-file-utils appstream
        libgtest-dev libgmock-dev libbenchmark-dev
        libxdamage-dev xvfb xauth xdotool x11-xserver-utils x11-utils imagemagick
        jackd2 alsa-utils procps ccache
        # A real X server with a pen: Xorg, its dummy video driver, and the
        # protocol header of its inputtest input driver.
        xserver-xorg-core xserver-xorg-video-dummy xserver-xorg-dev
        pipewire pipewire-bin pipewire-jack wireplumber dbus-user-session
        # Headless GNOME for the screen-sharing test, headless sway for the
        # Wayland canvas test.
        mutter xwayland xdg-desktop-portal xdg-desktop-portal-gnome
        sway grim
        # The protocol of KWin's fake input, for the test's Wayland pointer.
        plasma-wayland-protocols
        # The fuzz targets: clang with its libFuzzer and sanitizer runtimes.
        clang
    )
    if ((release == 12)); then
        packages+=(libclang-rt-14-dev)
    else
        packages+=(
            libclang-rt-dev
            # jack_midi_dump, jack_lsp, jack_connect and jack_property left
            # jackd2 for a package of their own.
            jack-example-tools
            # The portal finds GNOME's backend through the portals.conf that
            # comes with the session's common files.
            gnome-session-common
            # Headless KDE Plasma for its screen-sharing test: KWin and its
            # portal, with the QML of the portal's dialog.
            kwin-wayland xdg-desktop-portal-kde plasma-workspace
            # A real session manager to run the program under, beside the
            # tests' own stand-in (Debian 12 has none packaged).
            raysession
        )
    fi
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
# Another install running at the same time (a second clone's test run) is
# waited for rather than failed on.
lock=(-o DPkg::Lock::Timeout=900)
"${sudo[@]}" apt-get "${lock[@]}" update -qq
# jackd2 asks about real-time priority while installing; take its default.
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
