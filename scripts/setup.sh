#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the programs and the tests need.
# Idempotent: installs only what is missing; as root, or through sudo.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libsdl2-dev libepoxy-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
    libfontconfig-dev libfreetype-dev fonts-liberation libpng-dev libstb-dev
    libgtest-dev libgmock-dev libbenchmark-dev libfast-float-dev
    xvfb xauth xdotool x11-utils openbox imagemagick libxi-dev libdecor-0-plugin-1-cairo
    weston xwayland x11-xserver-utils
)
# Extra groups, asked for by the scripts that need them.
for group in "$@"; do
    case "$group" in
        fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
        windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64) ;;
        bench) packages+=(libassimp-dev time jq) ;;
        package) packages+=(dpkg-dev mmdebstrap binutils-mingw-w64-x86-64) ;;
        web) packages+=(emscripten chromium)
             command -v node >/dev/null || packages+=(nodejs) ;;
        fresh) packages+=(mmdebstrap) ;;
        *) echo "setup.sh: unknown group '$group'" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "setup.sh: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
echo "setup.sh: installing ${missing[*]}" >&2
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
# apt's own errors pass; debconf's note of a system without apt-utils does not.
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
    --no-install-recommends "${missing[@]}" 2>&1 >/dev/null |
    { grep -v '^debconf: delaying package configuration' >&2 || true; }
