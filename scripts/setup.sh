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

# ---- The CUDA toolkit: the machine's own, or Debian's 11.8 --------------------------------
# Decided before anything is installed: where Debian's toolkit cannot go, set-up
# stops having changed nothing.
find_nvcc() {
    if [ -n "${CUDACXX:-}" ]; then echo "$CUDACXX"; return; fi
    command -v nvcc && return
    local d
    for d in "${CUDA_HOME:-}" "${CUDA_PATH:-}" /usr/local/cuda; do
        if [ -n "$d" ] && [ -x "$d/bin/nvcc" ]; then echo "$d/bin/nvcc"; return; fi
    done
    return 1
}
# Each libcuda.so.1 the loader can find, as the file it is.
driver_libraries() {
    {
        ldconfig -p 2>/dev/null | sed -n 's/.*libcuda\.so\.1 .*=> //p'
        ls -d /usr/lib/x86_64-linux-gnu/libcuda.so.1 /lib/x86_64-linux-gnu/libcuda.so.1 /usr/lib64/libcuda.so.1 \
            /usr/local/nvidia/lib64/libcuda.so.1 /usr/local/lib/libcuda.so.1 2>/dev/null
    } | while read -r f; do readlink -f "$f"; done | sort -u
}
owned_by_package() { # a file, under either spelling of a merged /usr
    local f=$1
    dpkg-query -S "$f" >/dev/null 2>&1 || dpkg-query -S "${f#/usr}" >/dev/null 2>&1 || dpkg-query -S "/usr$f" >/dev/null 2>&1
}
cuda_packages=()
if nvcc=$(find_nvcc); then
    cuda_version=$("$nvcc" --version | sed -n 's/.*release \([0-9][0-9]*\.[0-9][0-9]*\).*/\1/p')
    say "CUDA toolkit: ${cuda_version:-unknown version} ($nvcc)"
    # CUDA 11's nvcc refuses Debian 12's g++ 12 as host compiler.
    case "$cuda_version" in 11.*) cuda_packages=(g++-11) ;; esac
else
    while read -r lib; do
        [ -n "$lib" ] || continue
        if ! owned_by_package "$lib"; then
            cat >&2 <<TEXT
setup: no CUDA toolkit was found, and this machine's NVIDIA driver was installed
setup: outside the package manager ($lib belongs to no package).
setup: Debian's CUDA toolkit would bring Debian's own driver library beside it, so set-up
setup: installs nothing. Install a CUDA toolkit from 11.8 to 13 that matches the driver
setup: (NVIDIA's installer, toolkit only), put its nvcc on PATH or name it with CUDACXX,
setup: and run set-up again.
TEXT
            exit 1
        fi
    done < <(driver_libraries)
    cuda_packages=(nvidia-cuda-toolkit g++-11)
    # The toolkit is in non-free; the driver library it pulls needs contrib.
    available() { apt-cache policy "$1" 2>/dev/null | grep -q 'Candidate: [0-9]'; }
    if ! available nvidia-cuda-toolkit || ! available nvidia-support; then
        say "adding the archive's contrib and non-free components (for Debian's CUDA toolkit)"
        as_root tee /etc/apt/sources.list.d/synaptor-non-free.sources >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: contrib non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: contrib non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        as_root apt-get update -qq
    fi
    say "no CUDA toolkit found: installing Debian's (nvidia-cuda-toolkit, CUDA 11.8, with g++-11)"
fi

# ---- Debian packages ----------------------------------------------------------------
mapfile -t wanted < <({ sed 's/#.*//' "$ROOT"/scripts/deps/*.txt; echo "${cuda_packages[@]}"; } | xargs -n1 | sort -u)
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
