#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-tests"

"$root/scripts/install-packages.sh"
"$root/scripts/build.sh" "$build"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
