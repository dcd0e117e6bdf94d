#!/usr/bin/env bash
# Builds the Debian package quillory_<version>_amd64.deb into the top of the checkout: a
# release build with Debian's hardening flags, put into the package by CPack, its
# dependencies found by dpkg-shlibdeps. Checks the package with lintian when it is installed.
# Run ./scripts/setup.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# The flags Debian's own packages are built with (stack protector, fortify, relro, bindnow).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLORY_BUILD_TESTS=OFF
cmake --build build-package -j "$jobs"
rm -f build-package/quillory_*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/quillory_*.deb)
cp "$deb" .
echo "package: ./$(basename "$deb")"

if command -v lintian >/dev/null; then
    # Errors fail the build; warnings are shown.
    lintian --fail-on error "./$(basename "$deb")"
fi
