#!/usr/bin/env bash
# Installs what is needed, builds a release build into build/ and starts the
# demo: the program on this terminal, with the bundled quote server on a
# loopback port and a small demo watch list. Arguments go to stockat.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOCKAT_WERROR=ON \
  -DSTOCKAT_TESTS=OFF -DSTOCKAT_BENCH=OFF -DSTOCKAT_FUZZ=OFF
cmake --build build --target stockat stockat-quoted -j "${STOCKAT_JOBS:-$(nproc)}"
exec build/stockat --demo "$@"
