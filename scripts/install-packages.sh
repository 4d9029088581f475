#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its tool and its tests need, and
# the throwaway database server the tests start, and those that check the
# installed files and build the Debian package.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-translations-l10n libsqlite3-dev libicu-dev sqlite3
    mdbtools-dev
    poppler-utils
    libpq-dev postgresql-15 postgresql-common
    desktop-file-utils man-db
    dpkg-dev file
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
