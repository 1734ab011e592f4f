#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Varnoc need,
# when they are missing. Safe to run again; does nothing when all are there.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qtbase5-dev libqt5serialport5-dev
    libqcustomplot-dev libquazip1-qt5-dev libeigen3-dev libglpk-dev zlib1g-dev
    fonts-noto-cjk qttranslations5-l10n
    python3 python3-openpyxl python3-scipy libreoffice-calc-nogui
    clang libclang-rt-14-dev
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

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "setup: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
