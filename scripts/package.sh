#!/usr/bin/env bash
# Builds the Debian package in a build folder of its own (build-package) and
# checks the desktop entry, the file type and the AppStream metadata it
# ships, and that its Depends name the Qt 6 libraries.
#   scripts/package.sh        leaves build-package/trelvane_VERSION_ARCH.deb
# Install it with: apt install ./build-package/trelvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELVANE_WERROR=ON \
  -DTRELVANE_TESTS=OFF -DTRELVANE_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/trelvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/trelvane_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "no package in $build" >&2; exit 1; }

# Check the files as the package ships them.
contents=$build/package-contents
rm -rf "$contents"
dpkg-deb -x "$deb" "$contents"
share=$contents/usr/share
desktop-file-validate "$share"/applications/*.desktop
xmllint --noout "$share"/mime/packages/*.xml
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6; do
  grep -q "$lib" <<<"$depends" || { echo "Depends does not name $lib: $depends" >&2; exit 1; }
done
echo "package: $deb ($(stat -c %s "$deb") bytes)"
echo "Depends: $depends"
