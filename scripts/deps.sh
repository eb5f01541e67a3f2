#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing.
# Quiet when everything is there. Usage: scripts/deps.sh [run|test]
set -euo pipefail
need=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-multimedia-dev libgl-dev fonts-dejavu-core
      liblhasa-dev zlib1g-dev)
case "${1:-run}" in
  run)  need+=(pulseaudio pulseaudio-utils) ;;
  test) need+=(pulseaudio pulseaudio-utils libbenchmark-dev clang libclang-rt-14-dev python3
              clang-format clang-tidy desktop-file-utils appstream shared-mime-info libxml2-utils groff-base dpkg-dev file) ;;
esac
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
