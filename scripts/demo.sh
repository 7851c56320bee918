#!/usr/bin/env bash
# Installs what is missing, builds, and drives the module through the host
# driver: register the module in a registry of the demo's own, list its
# classes and create each through its class factory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"

host=build/bin/zelm-host
registry=build/demo/registry.json
mkdir -p build/demo
rm -f "$registry"
set -x
"$host" --registry "$registry" register build/lib/libQorZelm.so
"$host" --registry "$registry" classes
"$host" --registry "$registry" create
