#!/usr/bin/env bash
# Checks the install metadata and the Debian package as a user's tools see
# them. Usage: package_check.sh metadata SOURCE_DIR
#              package_check.sh package BUILD_DIR VERSION
# Each check names the tool it needs and fails when that tool is missing.
set -uo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh --tests installs it)"
    done
}

check_metadata() {
    local source=$1
    need desktop-file-validate appstreamcli
    desktop-file-validate "$source/data/zimbrel.desktop" || fail "desktop-file-validate reports errors"
    appstreamcli validate --no-net "$source/data/zimbrel.metainfo.xml" || fail "appstreamcli reports errors"
    echo "desktop entry and AppStream metainfo are valid"
}

check_package() {
    local build=$1 version=$2
    need cpack dpkg-deb dpkg-shlibdeps lintian
    work=$(mktemp -d) || fail "cannot make a temporary folder"
    trap 'rm -rf "$work"' EXIT

    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 \
        || { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
    local deb="$work/zimbrel_${version}_$(dpkg --print-architecture).deb"
    [[ -f $deb ]] || fail "no package at $deb"
    echo "built $(basename "$deb"), $(stat -c %s "$deb") bytes"

    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    local names
    names=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
    grep -qE '^libjack' <<<"$names" || fail "the JACK library is not among the dependencies"
    ! grep -qxE 'jackd|jackd1|jackd2' <<<"$names" || fail "the package depends on a JACK server"

    local contents
    contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
    for file in ./usr/bin/zimbrel ./usr/share/applications/zimbrel.desktop \
        ./usr/share/icons/hicolor/scalable/apps/zimbrel.svg \
        ./usr/share/metainfo/example.c_seed_9784c565.Zimbrel.metainfo.xml \
        ./usr/share/man/man1/zimbrel.1.gz ./usr/share/doc/zimbrel/copyright \
        ./usr/share/doc/zimbrel/changelog.gz; do
        grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
    done

    # Lintian's errors fail the check; its warnings are printed for the log.
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    cat "$work/lintian.log"
    ! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"

    dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb cannot unpack the package"
    local answer
    answer=$(env -u DISPLAY "$work/root/usr/bin/zimbrel" --version) \
        || fail "the unpacked program's --version failed"
    [[ $answer == "zimbrel $version" ]] || fail "the unpacked program says '$answer'"
    echo "the unpacked program answers: $answer"
}

case "${1:-}" in
metadata) check_metadata "$2" ;;
package) check_package "$2" "$3" ;;
*) fail "usage: package_check.sh metadata SOURCE_DIR | package BUILD_DIR VERSION" ;;
esac
