#!/usr/bin/env bash
# Runs the test suite on another Debian release, in a chroot under build/:
#
#   scripts/debian-chroot.sh RELEASE [scripts/test.sh arguments...]
#
# RELEASE is 12 or 13. The chroot (build/debian<RELEASE>/root) is made once
# with debootstrap from this machine's own package mirror and then reused;
# the packages go in through install-deps.sh inside it, as on a new machine
# of that release. Each run copies the work tree (uncommitted changes
# included, build/ left out) to /work/zimbrel in the chroot and runs
# scripts/test.sh there with the other arguments; the chroot's build folder
# is kept between runs. Needs root, as chroot and mount do.
#
# The chroot gets /proc, the host's /sys and /dev (as slaves, so that no
# unmount inside reaches the host's), and a /dev/shm and /tmp of its own.
# Downloaded packages and compiled objects are kept outside it, in
# ~/.cache/zimbrel-debian<RELEASE>, so that a new clone's chroot (CI's)
# neither downloads nor compiles again what an earlier one did.
# They are unmounted however the run ends; what a killed run left mounted,
# and any process it left running in the chroot, is cleared first.
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
    12) codename=bookworm ;;
    13) codename=trixie ;;
    *) echo "--debian takes a release: 12 or 13" >&2; exit 2 ;;
esac
release=$1
shift
if [[ $(id -u) -ne 0 ]]; then
    exec sudo --preserve-env=ZIMBREL_FUZZ_SECONDS "$0" "$release" "$@"
fi

# Without symbolic links, as /proc names the root of a process in the chroot.
lane="$(pwd -P)/build/debian$release"
root="$lane/root"
tree=/work/zimbrel
cache="${HOME:-/root}/.cache/zimbrel-debian$release"

# The first Debian archive this machine's apt sources name.
mirror() {
    local uri
    uri=$(grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' \
        | grep -v -- '-security' | head -n 1 || true)
    [[ -n "$uri" ]] || uri=$(grep -hsE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        | awk '{print $2}' | grep -v -- '-security' | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

# Everything mounted at or below the chroot, deepest first.
mounts_below() {
    awk -v root="$root" '$5 == root || index($5, root "/") == 1 { print $5 }' /proc/self/mountinfo \
        | sort -r
}

release_chroot() {
    local pid
    for pid in /proc/[0-9]*; do
        [[ "$(readlink "$pid/root" 2>/dev/null)" == "$root" ]] && kill -KILL "${pid#/proc/}" 2>/dev/null
    done
    local mount
    while read -r mount; do
        [[ -n "$mount" ]] || continue
        # A run killed between a bind and its --make-rslave leaves a shared
        # mount, whose unmounts would reach the host's.
        mount --make-rslave "$mount" 2>/dev/null || true
        umount "$mount" 2>/dev/null || umount -l "$mount"
    done < <(mounts_below)
    return 0
}

make_chroot() {
    command -v debootstrap >/dev/null || {
        echo "Installing: debootstrap" >&2
        apt-get -o DPkg::Lock::Timeout=900 update -qq
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq debootstrap
    }
    local source
    source=$(mirror)
    echo "== debian$release: making a Debian $release ($codename) chroot from $source" >&2
    # Made beside its place and moved there whole, so that a run killed
    # half-way leaves nothing that looks finished.
    rm -rf "$lane/making"
    mkdir -p "$lane" "$cache/debootstrap"
    debootstrap --variant=minbase --cache-dir="$cache/debootstrap" "$codename" "$lane/making" "$source" \
        >"$lane/debootstrap.log" 2>&1 || {
        tail -n 20 "$lane/debootstrap.log" >&2
        echo "== debian$release: debootstrap failed (the whole log: $lane/debootstrap.log)" >&2
        return 1
    }
    mv "$lane/making" "$root"
}

# The build in the chroot is kept from run to run. Its files are copied
# with the time of the copy, not their own: a file changed at the host after
# a run began (by a checkout, say) carries a time older than the objects
# that run built from its former text, which would then be taken as
# current. ccache keeps the rebuild of unchanged files cheap.
copy_tree() {
    mkdir -p "$root$tree"
    find "$root$tree" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
    git ls-files -z --cached --others --exclude-standard | grep -zv '^build/' \
        | tar --null -T - -cf - | tar -xf - --touch -C "$root$tree"
}

SECONDS=0
release_chroot
[[ -d "$root" ]] || make_chroot
trap release_chroot EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mount -t proc proc "$root/proc"
mount --rbind --make-rslave /sys "$root/sys"
mount --rbind --make-rslave /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
# As systemd-tmpfiles makes it at boot; mutter will not make it itself.
install -d -m 1777 "$root/tmp/.X11-unix"
mkdir -p "$cache/archives" "$cache/ccache" "$root/var/cache/apt/archives" "$root/root/.cache/ccache"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
mount --bind "$cache/ccache" "$root/root/.cache/ccache"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A throwaway root need not survive a power cut: without a sync after every
# file, installing the test packages takes minutes less.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/zimbrel-unsafe-io"
# Servers that name their host in the addresses they give (NSM's) must find
# it on loopback, and so must clients that ask for "localhost" (debootstrap's
# hosts file has no such line).
grep -qs "[[:space:]]localhost\$" "$root/etc/hosts" || echo "127.0.0.1 localhost" >>"$root/etc/hosts"
grep -qs "[[:space:]]$(hostname)\$" "$root/etc/hosts" || echo "127.0.1.1 $(hostname)" >>"$root/etc/hosts"
copy_tree
echo "== debian$release: chroot ready in $SECONDS s; testing there" >&2

in_chroot() {
    chroot "$root" /usr/bin/env -i \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 CI="${CI:-}" \
        ZIMBREL_FUZZ_SECONDS="${ZIMBREL_FUZZ_SECONDS:-60}" \
        bash -c "cd $tree && exec \"\$@\"" in-chroot "$@" </dev/null
}
# The packages come over the network; the tests then run in a network
# namespace holding only loopback. X clients try a display's abstract socket
# first, and abstract sockets belong to the network namespace, not to the
# file system: without one of its own, the chroot's test X servers and the
# host's would answer each other's clients. It also keeps every server the
# tests start (NSM's, which names its host) on loopback.
status=0
in_chroot scripts/install-deps.sh --tests || status=$?
if ((status == 0)); then
    # In the background, so that a signal to this script is handled at once,
    # not when the run inside ends: the exit then ends what runs in the chroot.
    export root tree TERM CI ZIMBREL_FUZZ_SECONDS
    export -f in_chroot
    unshare --net bash -c 'ip link set lo up && in_chroot scripts/test.sh "$@"' unshare "$@" &
    wait $! || status=$?
fi
echo "== debian$release: $( ((status == 0)) && echo passed || echo "failed (status $status)") in" \
    "$((SECONDS / 60)) min $((SECONDS % 60)) s" >&2
exit "$status"
