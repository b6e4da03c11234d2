#!/usr/bin/env bash
# Cross-builds the Windows executables with mingw-w64 into build-windows/
# (every .exe lands in build-windows/bin/). Tests and benchmarks that need
# Linux-only libraries are left out; the D3DX check program is built.
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh windows
cmake -S . -B build-windows -G Ninja -DARTIC_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
    -DARTIC_BUILD_TESTS=OFF -DARTIC_BUILD_BENCH=OFF -DARTIC_BUILD_FUZZ=OFF "$@" >/dev/null
cmake --build build-windows -j2
