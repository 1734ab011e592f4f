#!/usr/bin/env bash
# Sets up, builds and starts Varnoc. The program runs in build/run, which holds
# what it reads and writes (tervancal.ini, doc/, data/, record/, reg/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target varnoc
mkdir -p build/run
cd build/run
exec ../src/app/varnoc
