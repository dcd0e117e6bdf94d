#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the Debian package
# (scripts/package.sh) need. Run as root.
# Packages already present are skipped; apt-get update runs once, only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev
    zlib1g-dev libminizip-dev libsodium-dev minisign libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev libcli11-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-multimedia-dev xvfb xauth imagemagick dbus-daemon
    zip unzip curl findutils qstat
    librsvg2-bin desktop-file-utils appstream groff-base dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: every package is present"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]}; run this script as root to install them" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
