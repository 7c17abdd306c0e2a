#!/usr/bin/env bash
# Builds a release build of Toplu SMS and starts it. Arguments go to the program;
# `./run.sh --demo` starts it against the built-in phone simulator.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
toplusms_install "${TOPLUSMS_BUILD_PACKAGES[@]}"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOPLUSMS_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --target toplusms
exec build/release/app/toplusms "$@"
