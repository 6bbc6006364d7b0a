#!/usr/bin/env bash
# Installs what building and testing LyDevice needs on Debian 12, if it is missing.
# Usage: scripts/setup.sh [--qt6] [--fuzz]
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config qtbase5-dev qtbase5-dev-tools libqt5gui5 libqt5network5
          fonts-dejavu-core)
for option in "$@"; do
    case "$option" in
        --qt6) packages+=(qt6-base-dev qt6-base-dev-tools) ;;
        # clang without its recommends has no libFuzzer; libclang-rt-14-dev brings it and the sanitizers.
        --fuzz) packages+=(clang libclang-rt-14-dev) ;;
        *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
