#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run Lanterra.
# Idempotent and non-interactive: does nothing when every package is present.
set -euo pipefail

packages=(
    build-essential
    cmake
    ninja-build
    pkg-config
    qtbase5-dev
    qtbase5-dev-tools
    libqt5svg5-dev
    libqt5opengl5-dev
    qtmultimedia5-dev
    rapidjson-dev
    zlib1g-dev
    nats-server
    libnats-dev
    libbenchmark-dev
    clang
    libclang-rt-14-dev
    openssl
    libssl-dev
    xvfb
    xauth
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
