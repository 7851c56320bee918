#!/usr/bin/env bash
# Installs what is missing, builds, and drives the module through the host
# driver: register the module in a registry of the demo's own, list its
# classes and create each through its class factory; then make a project,
# import the bundled rock-salt structure, show it and show the module's
# "ZelmLogic" state.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
# The demo needs the driver and the module it loads.
cmake --build build -j "$(nproc)" --target zelm-host

host=build/bin/zelm-host
demo=build/demo
registry=$demo/registry.json
project=$demo/project
mkdir -p "$demo"
# The demo starts afresh each time: its registry and project are its own.
rm -rf "$registry" "$project"
set -x
"$host" --registry "$registry" register build/lib/libQorZelm.so
"$host" --registry "$registry" classes
"$host" --registry "$registry" create
"$host" --registry "$registry" project "$project"
"$host" --registry "$registry" import examples/rocksalt.cif --project "$project" --log
"$host" --registry "$registry" show "$project/rocksalt.qsd"
"$host" --registry "$registry" state --project "$project" ZelmLogic
# Read the hand-written engine results of rock salt and chart them in the project.
for run in geomopt dynamics phonons; do
  "$host" --registry "$registry" read "examples/results/$run/rocksalt" --project "$project" --charts
done
