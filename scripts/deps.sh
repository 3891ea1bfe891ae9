#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Usage: scripts/deps.sh [gui|window|package|elf-fixtures|mingw-fixtures|trial|debian-qt|windows|qt-mingw-source]...
#   gui: what a real window needs; window: that, plus an X server without a screen, a
#   driver for it, a window manager (title bars in the pictures) and a screenshot tool;
#   package: what builds and checks the .deb; elf-fixtures and mingw-fixtures: what
#   scripts/make-elf-fixtures.sh and scripts/make-mingw-fixtures.sh (and, mingw-fixtures,
#   scripts/make-qt5-fixtures.sh) build the test files with;
#   trial: what scripts/trial-faults.sh runs; debian-qt: the Qt packages (beyond qtbase5-dev and
#   qt6-base-dev) scripts/make-debian-qt-tree.sh copies and what scripts/check-qt-tree.sh reads ELF
#   files with; windows: the cross compiler, wine and the zip tool for the Windows programs;
#   qt-mingw-source: what builds their static Qt from source.
set -euo pipefail

# qt6-tools-dev and qttools5-dev give CMake its Qt LinguistTools; qt6-l10n-tools and
# qttools5-dev-tools hold the lupdate and lrelease they run.
packages=(g++ cmake ninja-build qt6-base-dev qtbase5-dev libgl-dev clang libclang-rt-14-dev pkgconf
          qt6-tools-dev qt6-l10n-tools qttools5-dev qttools5-dev-tools attr)
for group in "$@"; do
    case "$group" in
        gui) packages+=(qt6-qpa-plugins libqt5gui5) ;;
        window) packages+=(qt6-qpa-plugins libqt5gui5 xvfb xdotool imagemagick openbox x11-utils) ;;
        package) packages+=(dpkg-dev lintian desktop-file-utils man-db) ;;
        elf-fixtures) packages+=(binutils-powerpc-linux-gnu python3) ;;
        mingw-fixtures) packages+=(g++-mingw-w64-x86-64-posix) ;;
        trial) packages+=(binutils python3 xxd time util-linux strace qt5-qmake qtbase5-dev-tools) ;;
        debian-qt) packages+=(qt5-qmake qt5-qmake-bin qtbase5-dev-tools qmake6 qmake6-bin qt6-base-dev-tools
                              dpkg-dev binutils) ;;
        # wine64 runs the 64-bit programs; wine is its launcher and wineserver.
        windows) packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xdotool imagemagick
                            openbox x11-utils zip xz-utils python3) ;;
        qt-mingw-source) packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools make python3 xz-utils) ;;
        *) echo "error: unknown group '$group'" >&2; exit 2 ;;
    esac
done

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
