#!/usr/bin/env bash
# Builds the Debian packages tavelor-sdk and hollerquast into packages/ (or the folder given as
# $1) from a release build in build-package/, and checks each with lintian, which must report
# no errors. Installing them: apt install ./packages/tavelor-sdk_*.deb ./packages/hollerquast_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/packages}
build=${TAVELOR_PACKAGE_BUILD:-$root/build-package}
"$root/scripts/setup.sh"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAVELOR_BUILD_TESTS=OFF -DTAVELOR_BUILD_BENCH=OFF -DTAVELOR_BUILD_FUZZ=OFF \
  -DTAVELOR_GAME_DIR=lib/games/hollerquast -DTAVELOR_GAME_LINK_DIR=games "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
status=0
for deb in "$out"/tavelor-sdk_*.deb "$out"/hollerquast_*.deb; do
  [ -f "$deb" ] || continue
  echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"
  # Errors fail the build; warnings are shown.
  lintian --tag-display-limit 0 "$deb" || status=1
done
exit $status
