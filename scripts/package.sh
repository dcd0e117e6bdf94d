#!/usr/bin/env bash
# Builds the Debian package quillory_<version>_amd64.deb into the top of the checkout: a
# release build with Debian's hardening flags, put into the package by CPack, its
# dependencies found by dpkg-shlibdeps. Checks the package with lintian when it is installed.
# Run ./scripts/setup.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# The flags Debian's own packages are built with (stack protector, fortify, relro, bindnow).
# Given on every run, as the build folder's cache would keep the first run's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLORY_BUILD_TESTS=OFF \
    -DQUILLORY_DB_OWNER_CHECK=OFF \
    -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"
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
