#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/setup.sh"
zorvik_require_packages cmake make g++ libgtest-dev

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
cmake --build "$root/build" -j"$(nproc)"
ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j"$(nproc)"
