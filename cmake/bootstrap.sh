# Shared set-up of ./run and ./test: make sure the Debian packages the build
# needs are there (installing them when run as root), then configure and build
# the Release build with debug information in build/.
set -euo pipefail

TORVANE_PACKAGES="cmake ninja-build g++ pkg-config libsdl2-dev libsdl2-ttf-dev fonts-liberation googletest libgtest-dev libbenchmark-dev libenet-dev libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev"

torvane_missing_packages() {
    local missing="" p
    for p in $TORVANE_PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    echo "$missing"
}

torvane_install_packages() {
    local missing
    missing=$(torvane_missing_packages)
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" = 0 ]; then
        echo "Installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing >/dev/null
    else
        echo "Some packages are missing. Run as root:" >&2
        echo "  apt-get install -y$missing" >&2
        exit 1
    fi
}

# torvane_build <build dir> [extra cmake options...]
torvane_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    fi
    cmake --build "$dir" -- -j"$(nproc)"
}
