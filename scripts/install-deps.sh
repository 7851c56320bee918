#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
set -euo pipefail
pkgs=(g++ cmake ninja-build libboost-dev libgtest-dev libgmock-dev googletest
      libbenchmark-dev nlohmann-json3-dev libcli11-dev gemmi-dev libstb-dev
      tao-pegtl-dev libsymspg-dev ccache clang-14 libclang-rt-14-dev
      libplplot-dev pkg-config)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
