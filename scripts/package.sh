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
# Debian's usual hardening flags (stack protector, fortified functions, full RELRO), without -g:
# the installed library carries no debugging information.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g \
  dpkg-buildflags --export=sh)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAVELOR_BUILD_TESTS=OFF -DTAVELOR_BUILD_BENCH=OFF -DTAVELOR_BUILD_FUZZ=OFF \
  -DTAVELOR_GAME_DIR=lib/games/hollerquast -DTAVELOR_GAME_LINK_DIR=games "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p "$out"
rm -f "$out"/tavelor-sdk_*.deb "$out"/hollerquast_*.deb
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
