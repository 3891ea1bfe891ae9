#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Usage: scripts/deps.sh [gui]   ("gui" adds what a real window needs).
set -euo pipefail

packages=(g++ cmake ninja-build qt6-base-dev qtbase5-dev libgl-dev clang libclang-rt-14-dev pkgconf)
if [[ "${1:-}" == gui ]]; then
    packages+=(qt6-qpa-plugins libqt5gui5)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "error: need root or sudo to install ${missing[*]}" >&2; exit 1; }
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
