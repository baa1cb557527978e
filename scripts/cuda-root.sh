#!/usr/bin/env bash
# A Debian 12 root with Debian's CUDA 11.8 toolkit (non-free) and what
# Vidlane2's build and tests need, kept outside the clone beside set-up's other
# caches, so that CI and the GPU check build with the old toolkit without
# installing it into this machine's own root (two toolkits side by side there
# break CUDA builds). Needs root (mmdebstrap, chroot, mounts).
#   scripts/cuda-root.sh make             make the root, or bring its packages up to the list
#   scripts/cuda-root.sh run COMMAND...   run COMMAND in it, in this clone (mounted at its own path)
# The root lives in $SYNAPTOR_CUDA_ROOT (default: the dependency cache's debian12-cuda11.8).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS=${SYNAPTOR_DEPS:-$HOME/.cache/synaptor-deps}
TARGET=${SYNAPTOR_CUDA_ROOT:-$DEPS/debian12-cuda11.8}
say() { echo "cuda-root: $*"; }
die() { echo "cuda-root: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "needs root (mmdebstrap, chroot, mounts)"

packages() {
    { sed 's/#.*//' "$ROOT"/scripts/deps/vidlane2.txt; echo nvidia-cuda-toolkit g++-11 python3 xz-utils; } |
        xargs -n1 | sort -u
}

# Runs a command in the root with /proc, /sys, /dev and a fresh /tmp, and this clone at
# its own path. The mounts live in a mount namespace of their own: they go with
# the command, whatever way it ends, and never outlive it on this machine.
in_root() {
    unshare --mount --propagation private -- bash -c '
        set -e
        target=$1 tree=$2; shift 2
        mount -t proc proc "$target/proc"
        mount -t sysfs sysfs "$target/sys"
        mount --rbind /dev "$target/dev"
        mount -t tmpfs tmpfs "$target/tmp"
        mkdir -p "$target$tree" # after the tmpfs: a clone under /tmp needs its mount point there
        mount --bind "$tree" "$target$tree"
        exec chroot "$target" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            HOME=/root CI="${CI:-}" DEBIAN_FRONTEND=noninteractive bash -c "cd \"\$0\" && exec \"\$@\"" "$tree" "$@"
    ' bash "$TARGET" "$ROOT" "$@"
}

make_root() {
    if ! command -v mmdebstrap >/dev/null; then
        say "installing mmdebstrap"
        apt-get update -qq && apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
    fi
    if [ ! -e "$TARGET/.complete" ]; then
        say "making a Debian 12 root in $TARGET"
        rm -rf "$TARGET.part"
        # The toolkit is installed below, not by mmdebstrap: its own resolver
        # finds libcuda1 (from bookworm-security) not installable.
        mmdebstrap --quiet --variant=apt --components=main,contrib,non-free,non-free-firmware --include=ca-certificates bookworm "$TARGET.part" \
            "deb http://deb.debian.org/debian bookworm main contrib non-free non-free-firmware" \
            "deb http://deb.debian.org/debian bookworm-updates main contrib non-free non-free-firmware" \
            "deb http://deb.debian.org/debian-security bookworm-security main contrib non-free non-free-firmware"
        printf '#!/bin/sh\nexit 101\n' >"$TARGET.part/usr/sbin/policy-rc.d" # no services start in the root
        chmod +x "$TARGET.part/usr/sbin/policy-rc.d"
        rm -rf "$TARGET"
        mv "$TARGET.part" "$TARGET"
        touch "$TARGET/.complete"
    fi
    local -a wanted missing=()
    mapfile -t wanted < <(packages)
    local p
    for p in "${wanted[@]}"; do
        chroot "$TARGET" dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        say "installing into the root (the first time about 1.6 GB of downloads): ${missing[*]}"
        cp -L /etc/resolv.conf "$TARGET/etc/resolv.conf"
        in_root apt-get update -qq
        in_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
        in_root apt-get clean
    else
        say "$TARGET: all ${#wanted[@]} packages present"
    fi
}

case "${1:-}" in
    make) make_root ;;
    run)
        shift
        [ $# -gt 0 ] || die "usage: cuda-root.sh run COMMAND..."
        [ -e "$TARGET/.complete" ] || die "no root in $TARGET: run scripts/cuda-root.sh make first"
        in_root "$@"
        ;;
    *) die "usage: cuda-root.sh make | run COMMAND..." ;;
esac
