#!/usr/bin/env bash
# Builds the Debian package of Toplu SMS into build/pkg/ (toplusms_VERSION_ARCH.deb).
# Its library dependencies come from the binaries (dpkg-shlibdeps, package dpkg-dev).
# Install it with: sudo apt install ./build/pkg/toplusms_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
toplusms_install "${TOPLUSMS_BUILD_PACKAGES[@]}" "${TOPLUSMS_PACKAGE_PACKAGES[@]}"
cmake -S . -B build/pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOPLUSMS_BUILD_BENCH=OFF \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build build/pkg
(cd build/pkg && cpack -G DEB)
