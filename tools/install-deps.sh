#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Velmo needs.
# Idempotent: packages already present are skipped by apt, and apt-get update runs
# only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang clang-14 libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  qt6-webchannel-dev libqt6webenginecore6-bin libqt6opengl6-dev libgl-dev
  qt6-qpa-plugins
  libcurl4-openssl-dev libcpp-httplib-dev libpng-dev
  libsqlite3-dev libsqlitecpp-dev libutf8proc-dev nlohmann-json3-dev
  xvfb xauth fonts-ipafont-gothic
  desktop-file-utils appstream lintian dpkg-dev qt6-translations-l10n
  qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
