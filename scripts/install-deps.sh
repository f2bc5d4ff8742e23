#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs; with --tests also what the tests need.
# Packages already present are not touched, so a second run costs nothing.
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
          unixodbc unixodbc-dev libxml2-dev libgmime-3.0-dev libcurl4-openssl-dev fonts-noto-cjk
          qt6-translations-l10n libsystemd-dev qt6-httpserver-dev qt6-websockets-dev libcrypt-dev)
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(libgtest-dev postgresql-15 odbc-postgresql libxml2-utils xvfb xauth dovecot-imapd procps locales
               dpkg-dev systemd python3 python3-aiosmtpd systemd-container debootstrap strace chromium curl openssl)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
