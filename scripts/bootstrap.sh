#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need, and the two locales the
# tests read numbers under; does nothing when all of them are present already.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libboost-json1.81-dev libcurl4-openssl-dev libcpp-httplib-dev zlib1g-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-multimedia-dev qt6-wayland libgl-dev libxcb1-dev
    # Qt's SVG image and icon-engine plugins: the program's symbolic icon is an SVG.
    libqt6svg6
    gstreamer1.0-plugins-good gstreamer1.0-plugins-base gstreamer1.0-libav
    fonts-material-design-icons-iconfont fonts-dejavu-core
    xvfb xdotool tint2 openbox x11-utils x11-xserver-utils imagemagick curl
    desktop-file-utils appstream
    dbus at-spi2-core gir1.2-atspi-2.0 python3-gi libglib2.0-bin
    weston locales
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq "${missing[@]}"
fi

# Languages that write a decimal comma (and, in Turkish, lower-case "I" differently): the tests
# read and write numbers under them.
for name in de_DE tr_TR; do
    if ! locale -a 2>/dev/null | grep -qix "$name.utf-\?8"; then
        echo "Generating the locale $name.UTF-8"
        $SUDO localedef -i "$name" -f UTF-8 "$name.UTF-8"
    fi
done
