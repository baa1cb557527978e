#!/usr/bin/env bash
# Runs CI (.ci/run) in a clean Debian 12 root, the honest test of set-up: a
# developer's machine keeps what earlier runs installed, a fresh one has none
# of it. Not part of CI. Needs root (mmdebstrap, chroot, mounts), mmdebstrap
# (a Debian package) and a C compiler.
#   scripts/fresh-check.sh [--refusal-only] [revision]    (default HEAD; committed work only)
# The root gets this machine's certificate authorities and pip configuration,
# so that it reaches the same package registries, and a clone of the project;
# no CUDA: set-up installs Debian's. Two cases in the same root:
#   1. refusal: a libcuda.so.1 that no package owns (a driver installed outside
#      the package manager): .ci/run must stop with set-up's text and install nothing;
#   2. the stand-in driver library removed, .ci/run must pass.
# .ci/run runs with an environment of PATH, CI and HOME alone. The root is
# removed afterwards; the logs are kept in out/fresh-check*.log.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
REFUSAL_ONLY=0
if [ "${1:-}" = --refusal-only ]; then REFUSAL_ONLY=1; shift; fi
REV=$(git -C "$ROOT" rev-parse "${1:-HEAD}")
say() { echo "fresh-check: $*"; }

[ "$(id -u)" = 0 ] || { echo "fresh-check: needs root (mmdebstrap, chroot, mounts)" >&2; exit 1; }
command -v mmdebstrap >/dev/null || { echo "fresh-check: mmdebstrap is missing (apt-get install mmdebstrap)" >&2; exit 1; }
command -v cc >/dev/null || { echo "fresh-check: needs a C compiler (cc) for the stand-in driver library" >&2; exit 1; }

WORK=$(mktemp -d /var/tmp/synaptor-fresh.XXXXXX)
TARGET=$WORK/root
LOG=$ROOT/out/fresh-check.log
REFUSAL_LOG=$ROOT/out/fresh-check-refusal.log
mkdir -p "$ROOT/out"

cleanup() {
    # Unmount before removing: rm must never reach the host's /dev.
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

chroot "$TARGET" update-ca-certificates >/dev/null
git clone --quiet --no-hardlinks "$ROOT" "$TARGET/root/synaptor"
git -C "$TARGET/root/synaptor" checkout --quiet --detach "$REV"
say "project at $(git -C "$ROOT" log -1 --format='%h %s' "$REV")"

ci_in_root() {
    chroot "$TARGET" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        CI=true HOME=/root bash -c 'cd /root/synaptor && .ci/run'
}
packages() { chroot "$TARGET" dpkg-query -W -f='${Package} ${Version}\n' | sort; }

# Case 1: a driver library that no package owns, as NVIDIA's own installer leaves it.
say "case 1: a libcuda.so.1 that no package owns; log: $REFUSAL_LOG"
lib=$TARGET/usr/lib/x86_64-linux-gnu/libcuda.so.1
echo 'int cuInit(unsigned flags) { return (int)flags + 100; }' |
    cc -shared -fPIC -Wl,-soname,libcuda.so.1 -x c - -o "$lib"
chroot "$TARGET" ldconfig
packages >"$WORK/packages-before"
set +e
ci_in_root >"$REFUSAL_LOG" 2>&1
refusal_rc=$?
set -e
packages >"$WORK/packages-after"
refusal=ok
if [ "$refusal_rc" = 0 ]; then refusal="FAILED: .ci/run passed"
elif ! grep -q "outside the package manager" "$REFUSAL_LOG"; then
    refusal="FAILED: no refusal text"
elif ! cmp -s "$WORK/packages-before" "$WORK/packages-after"; then
    refusal="FAILED: packages changed: $(diff "$WORK/packages-before" "$WORK/packages-after" | grep -c '^>') added"
fi
rm -f "$lib"
chroot "$TARGET" ldconfig
refused=$(date +%s)

rc=0
if [ "$REFUSAL_ONLY" = 0 ]; then
    say "case 2: .ci/run in the root; log: $LOG"
    set +e
    ci_in_root >"$LOG" 2>&1
    rc=$?
    set -e
fi
end=$(date +%s)

echo "== fresh-check summary"
echo "revision:     $REV"
echo "root made in: $((made - start)) s"
echo "case 1, a libcuda.so.1 no package owns: $refusal (exit status $refusal_rc, $((refused - made)) s," \
     "$(wc -l <"$WORK/packages-before") packages before, $(wc -l <"$WORK/packages-after") after); set-up said:"
grep '^setup: ' "$REFUSAL_LOG" | sed 's/^/    /'
if [ "$REFUSAL_ONLY" = 0 ]; then
    echo "case 2, .ci/run: exit status $rc, $((end - refused)) s"
    grep -E '^== |tests passed|tests failed out of|^display: |^wine-prefix: |^Vidlane2: CUDA|^setup: (CUDA|no CUDA)' "$LOG" || true
fi
echo "total:        $((end - start)) s"
[ "$refusal" = ok ] || exit 1
exit $rc
