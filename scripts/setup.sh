#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need; only the missing ones.
set -euo pipefail

packages=(
    # toolchain (clang and its runtime for the bounded fuzz run)
    build-essential cmake pkg-config ninja-build ccache clang libclang-rt-14-dev
    # framework, plug-in formats, test and benchmark libraries
    juce-modules-source lv2-dev lilv-utils serdi sordi libgtest-dev libgmock-dev libbenchmark-dev
    # LV2 in a real host: jalv on a JACK server with the dummy driver (no sound card)
    jalv jackd2 libjack-jackd2-dev
    # headless display, screenshots, memory checks
    xvfb xauth x11-apps x11-utils imagemagick valgrind
    # the demibold typeface the editor embeds (resources/ is generated from it)
    fonts-lato
    # the framework's Linux dependencies
    libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev libxinerama-dev
    libxcursor-dev libxext-dev libxcomposite-dev libgl-dev libcurl4-gnutls-dev
    # codecs the distribution's framework build leaves to the system
    libflac-dev libvorbis-dev libogg-dev zlib1g-dev libpng-dev libjpeg-dev
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "setup: all ${#packages[@]} packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
