#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine: Debian
# packages, the glad2 loader generator, and the Windows cross-build's own
# libraries (GLFW, Dear ImGui sources, GoogleTest) built into a cache outside
# the source tree. Idempotent: a second run only checks. Needs no display: what
# does (Wine's first start) is scripts/wine-prefix.sh, run once the display is up.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS=${SYNAPTOR_DEPS:-$HOME/.cache/synaptor-deps}
GLAD_VERSION=2.0.8
say() { echo "setup: $*"; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive

# ---- Debian packages ----------------------------------------------------------------
mapfile -t wanted < <(sed 's/#.*//' "$ROOT"/scripts/deps/*.txt | xargs -n1 | sort -u)
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    say "installing Debian packages: ${missing[*]}"
    as_root apt-get update -qq
    as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
    say "Debian packages: all ${#wanted[@]} present"
fi

# ---- glad2, the OpenGL loader generator --------------------------------------------------
if [ "$(python3 -c 'import importlib.metadata as m; print(m.version("glad2"))' 2>/dev/null)" != "$GLAD_VERSION" ]; then
    say "installing glad2 $GLAD_VERSION from the Python package index"
    python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore "glad2==$GLAD_VERSION" \
        || python3 -m pip install -q --disable-pip-version-check --break-system-packages "glad2==$GLAD_VERSION"
else
    say "glad2 $GLAD_VERSION: present"
fi

# ---- Sources for the Windows cross-build ----------------------------------------------------
mkdir -p "$DEPS/src"
need_source() { [ ! -e "$DEPS/src/$1/.complete" ]; }
if need_source imgui || need_source glfw; then
    if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        say "adding a deb-src entry for bookworm main"
        as_root tee /etc/apt/sources.list.d/synaptor-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        as_root apt-get update -qq
    fi
    fetch_source() { # <source package> <folder name>
        local tmp
        tmp=$(mktemp -d "$DEPS/src/fetch.XXXXXX")
        say "fetching the Debian source package $1"
        (cd "$tmp" && apt-get source -qq "$1" >/dev/null 2>&1)
        rm -rf "$DEPS/src/$2"
        mv "$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n1)" "$DEPS/src/$2"
        rm -rf "$tmp"
        touch "$DEPS/src/$2/.complete"
    }
    need_source imgui && fetch_source imgui imgui
    need_source glfw && fetch_source glfw3 glfw
fi
say "Dear ImGui and GLFW sources: $DEPS/src"

# ---- Cross-built libraries ------------------------------------------------------------------------
cross_build() { # <name> <source folder> [cmake options...]
    local name=$1 src=$2; shift 2
    if [ -e "$DEPS/mingw/.$name.complete" ]; then
        say "$name for MinGW: present"
        return
    fi
    say "cross-building $name for MinGW into $DEPS/mingw"
    rm -rf "$DEPS/build/$name"
    cmake -S "$src" -B "$DEPS/build/$name" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS/mingw" "$@" >/dev/null
    cmake --build "$DEPS/build/$name" >/dev/null
    cmake --install "$DEPS/build/$name" >/dev/null
    touch "$DEPS/mingw/.$name.complete"
}
cross_build glfw "$DEPS/src/glfw" -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
cross_build googletest /usr/src/googletest -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF

say "done"
