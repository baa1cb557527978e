#!/usr/bin/env bash
# Runs CI (.ci/run) in a clean Debian 12 root, the honest test of set-up: a
# developer's machine keeps what earlier runs installed, a fresh one has none
# of it. Not part of CI. Needs root (mmdebstrap, chroot, mounts), mmdebstrap
# (a Debian package), and the CUDA toolkit in /usr/local/cuda.
#   scripts/fresh-check.sh [revision]    (default HEAD; committed work only)
# The root gets this machine's certificate authorities and pip configuration,
# so that it reaches the same package registries, the CUDA toolkit read-only,
# and a clone of the project. .ci/run runs there with an environment of PATH,
# CUDA_HOME, CI and HOME alone. The root is removed afterwards; the log is
# kept in out/fresh-check.log.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
REV=$(git -C "$ROOT" rev-parse "${1:-HEAD}")
CUDA=$(readlink -f /usr/local/cuda)
say() { echo "fresh-check: $*"; }

[ "$(id -u)" = 0 ] || { echo "fresh-check: needs root (mmdebstrap, chroot, mounts)" >&2; exit 1; }
command -v mmdebstrap >/dev/null || { echo "fresh-check: mmdebstrap is missing (apt-get install mmdebstrap)" >&2; exit 1; }
[ -x "$CUDA/bin/nvcc" ] || { echo "fresh-check: no CUDA toolkit in /usr/local/cuda" >&2; exit 1; }

WORK=$(mktemp -d /var/tmp/synaptor-fresh.XXXXXX)
TARGET=$WORK/root
LOG=$ROOT/out/fresh-check.log
mkdir -p "$ROOT/out"

cleanup() {
    # Unmount before removing: rm must never reach the host's /dev or CUDA toolkit.
    local m
    for m in $(findmnt -rn -o TARGET | grep -F "$TARGET" | sort -r); do
        umount -l "$m" 2>/dev/null || true
    done
    if findmnt -rn -o TARGET | grep -qF "$TARGET"; then
        echo "fresh-check: mounts remain under $TARGET; not removing it" >&2
        return
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

start=$(date +%s)
say "making a Debian 12 root in $TARGET"
# The machine's own archive entries (no deb-src: set-up adds that itself).
mmdebstrap --quiet --variant=apt --include=ca-certificates bookworm "$TARGET" \
    /etc/apt/sources.list.d/debian.sources
made=$(date +%s)

cp /usr/local/share/ca-certificates/*.crt "$TARGET/usr/local/share/ca-certificates/" 2>/dev/null || true
[ ! -e /etc/pip.conf ] || cp /etc/pip.conf "$TARGET/etc/pip.conf"
cp -L /etc/resolv.conf "$TARGET/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' > "$TARGET/usr/sbin/policy-rc.d" # no services start in the root
chmod +x "$TARGET/usr/sbin/policy-rc.d"

mount -t proc proc "$TARGET/proc"
mount -t sysfs sys "$TARGET/sys"
mount --rbind /dev "$TARGET/dev"
mount --make-rslave "$TARGET/dev"
mkdir -p "$TARGET/usr/local/cuda"
mount --bind "$CUDA" "$TARGET/usr/local/cuda"
mount -o remount,bind,ro "$TARGET/usr/local/cuda"

chroot "$TARGET" update-ca-certificates >/dev/null
git clone --quiet --no-hardlinks "$ROOT" "$TARGET/root/synaptor"
git -C "$TARGET/root/synaptor" checkout --quiet --detach "$REV"
say "project at $(git -C "$ROOT" log -1 --format='%h %s' "$REV")"

say "running .ci/run in the root; log: $LOG"
set +e
chroot "$TARGET" /usr/bin/env -i \
    PATH=/usr/local/cuda/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    CUDA_HOME=/usr/local/cuda CI=true HOME=/root \
    bash -c 'cd /root/synaptor && .ci/run' > "$LOG" 2>&1
rc=$?
set -e
end=$(date +%s)

echo "== fresh-check summary"
echo "revision:     $REV"
echo "root made in: $((made - start)) s"
echo ".ci/run:      exit status $rc, $((end - made)) s"
echo "total:        $((end - start)) s"
grep -E '^== |tests passed|tests failed out of|^display: |^wine-prefix: ' "$LOG" || true
exit $rc
