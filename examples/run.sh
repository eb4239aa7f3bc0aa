#!/usr/bin/env bash
# Sets up, builds and runs the bundled example analysis (El Centro 1940 N-S
# on a five-layer site over an elastic half-space). Results: build/example-run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/setup.sh"
zorvik_require_packages cmake make g++

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$root/build" -j"$(nproc)" --target zorvik

run="$root/build/example-run"
rm -rf "$run"
mkdir -p "$run"
cp "$root"/examples/elcentro_site/*.dat "$run"/
cd "$run"
"$root/build/zorvik"
echo "Results of the example are in $run"
