#!/usr/bin/env bash
# Installs what is missing, builds, and drives the module through the host
# driver: register the module in a registry of the demo's own, list its
# classes and create, through its class factory, each one this build has;
# then make a project, import the bundled rock-salt structure and methanol
# molecule, show them, show the module's "ZelmLogic" state;
# select the example library and write the GeomOpt deck; run the surface
# calculator on the bundled slab; check, export, run and start a job;
# update the structures from the bundled runs and write their trajectories;
# run a geometry optimisation through the engine stand-in and show its
# result; last, list the job's results by category, make the history charts
# of the job and of the bundled dynamics run and draw them as SVG pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The same build folder and flags as scripts/test.sh, so that the tests after
# the demo build only what the demo did not.
cmake -S . -B build -G Ninja -DQZ_WERROR=ON >/dev/null
# The demo needs the driver and the module it loads.
cmake --build build -j "$(nproc)" --target zelm-host zelm-stub QorZelmEarlier

host=build/bin/zelm-host
demo=build/demo
registry=$demo/registry.json
project=$demo/project
mkdir -p "$demo"
# The demo starts afresh each time: its registry and project are its own.
rm -rf "$registry" "$project" "$demo/earlier-registry.json" "$demo/earlier"
set -x
"$host" --registry "$registry" register build/lib/libQorZelm.so
"$host" --registry "$registry" classes
# "classes" marks a class "(not in this build)" until it is built; the demo
# creates the others.
mapfile -t built < <("$host" --registry "$registry" classes | awk '/^[{]/ && !/[(]not in this build[)]$/ {print $2}')
if [ ${#built[@]} -gt 0 ]; then
  "$host" --registry "$registry" create "${built[@]}"
else
  echo "demo: this build has none of the module's classes yet, so none is created"
fi
"$host" --registry "$registry" project "$project"
"$host" --registry "$registry" import examples/rocksalt.cif --project "$project" --log
"$host" --registry "$registry" show "$project/rocksalt.qsd"
"$host" --registry "$registry" import examples/methanol.xyz --project "$project"
"$host" --registry "$registry" show "$project/methanol.qsd"
"$host" --registry "$registry" state --project "$project" ZelmLogic
# The example library beside the structure, selected with its own charges;
# then the rock salt's GeomOpt deck, written and printed.
cp examples/rocksalt.lib "$project/"
"$host" --registry "$registry" state --project "$project" ZelmLogic library rocksalt
"$host" --registry "$registry" state --project "$project" ZelmLogic ChargeOption Library
"$host" --registry "$registry" deck "$project/rocksalt.qsd" --task GeomOpt
# The surface calculator on the bundled rock-salt (001) slab: report, make
# the top layer the surface atoms, select the layer below.
cp examples/slab.qsd "$project/slab.qsd"
"$host" --registry "$registry" surface --project "$project" "$project/slab.qsd" report
"$host" --registry "$registry" surface --project "$project" "$project/slab.qsd" --select 1,2 add-surface
"$host" --registry "$registry" surface --project "$project" "$project/slab.qsd" select-layer 2 2
# The structure checks, the job's input files, a run, and a start of the
# exported deck: both jobs are staged in the project's server folder.
"$host" --registry "$registry" check "$project/rocksalt.qsd"
"$host" --registry "$registry" export "$project/rocksalt.qsd" --task GeomOpt
"$host" --registry "$registry" run "$project/rocksalt.qsd" --task GeomOpt
"$host" --registry "$registry" start "$project/rocksalt ZELM GeomOpt/rocksalt.gin"
# The host's forcefield editor on the selected library: show it, edit a copy
# and show the copy.
"$host" --registry "$registry" forcefield --project "$project" show
"$host" --registry "$registry" forcefield --project "$project" edit --option 1.kcal=1 --fit 1.A=1 \
  --save-as "$project/rocksalt-edited.lib"
# The bundled rock-salt dynamics trajectory, read through the module's exports.
"$host" trg examples/results/dynamics/rocksalt.trg
# Read the hand-written engine results of rock salt and chart them in the project.
for run in geomopt dynamics phonons; do
  "$host" --registry "$registry" read "examples/results/$run/rocksalt" --project "$project" --charts
done
# Bring the results home: the imported rock salt takes the last frame of the
# bundled optimisation archive, the optimisation and the dynamics run become
# trajectory documents (".qtd" with its ".trj"), shown; the slab takes the
# surface run's last frame through its surface atom map.
cp -r examples/results "$project/results"
"$host" --registry "$registry" update-structure "$project/rocksalt.qsd" "$project/results/geomopt/rocksalt.arc"
"$host" --registry "$registry" trajectory "$project/results/geomopt/rocksalt" --document "$project/rocksalt.qsd"
"$host" --registry "$registry" show "$project/results/geomopt/rocksalt.qtd"
"$host" --registry "$registry" trajectory "$project/results/dynamics/rocksalt" --document "$project/rocksalt.qsd"
"$host" --registry "$registry" update-structure "$project/slab.qsd" "$project/results/surface/slab.arc" --surface
# The engine stand-in as the project's "ZELM" engine: a geometry optimisation
# followed to completion, then the structure it updated.
"$host" --registry "$registry" engine --project "$project" --stub
# The run's output is printed once and kept to find its results folder.
"$host" --registry "$registry" run "$project/rocksalt.qsd" --task GeomOpt | tee "$demo/geomopt-run.txt"
results=$(sed -n 's/^results folder: //p' "$demo/geomopt-run.txt")
# The live status text the job kept up to date while it ran.
cat "$results/Status.txt"
"$host" --registry "$registry" show "$results/rocksalt.qsd"
# The module's analysis component on the job's results and on the bundled
# dynamics run: the results by category, the history charts as chart
# documents, and those charts drawn as SVG pictures under build/demo.
"$host" --registry "$registry" results "$results/rocksalt.gout"
"$host" --registry "$registry" analyse "$results/rocksalt.gout" energy
"$host" --registry "$registry" analyse "$project/results/dynamics/rocksalt.gout" energy
"$host" chart "$results/rocksalt Energies.qcd" --svg "$demo/rocksalt-geomopt-energies.svg"
"$host" chart "$results/rocksalt Convergence.qcd" --svg "$demo/rocksalt-geomopt-convergence.svg"
"$host" chart "$project/results/dynamics/rocksalt Energy.qcd" --svg "$demo/rocksalt-dynamics-energy.svg"
"$host" chart "$project/results/dynamics/rocksalt Temperature.qcd" --svg "$demo/rocksalt-dynamics-temperature.svg"
# A phonon run of the rock salt through the stand-in (dispersion, density of
# states, optics), then its three charts made and drawn as SVG pictures.
for setting in "Phonon 1" "RequestPhonons 1" "RequestOptics 1" "PhononType 3"; do
  "$host" --registry "$registry" state --project "$project" ZelmLogic $setting
done
"$host" --registry "$registry" run "$project/rocksalt.qsd" --task Energy | tee "$demo/phonon-run.txt"
phonons=$(sed -n 's/^results folder: //p' "$demo/phonon-run.txt")
"$host" --registry "$registry" results "$phonons/rocksalt.gout"
for action in optics dispersion dos; do
  "$host" --registry "$registry" analyse "$phonons/rocksalt.gout" "$action"
done
"$host" chart "$phonons/rocksalt Optical Properties.qcd" --svg "$demo/rocksalt-optics.svg"
"$host" chart "$phonons/rocksalt Phonon Dispersion.qcd" --svg "$demo/rocksalt-phonon-dispersion.svg"
"$host" chart "$phonons/rocksalt Phonon DOS.qcd" --svg "$demo/rocksalt-phonon-dos.svg"
# The earlier build in a registry of its own: four classes, and the rock
# salt's deck with the bundled standard library "halides".
"$host" --registry "$demo/earlier-registry.json" register build/earlier/libQorZelm.so
"$host" --registry "$demo/earlier-registry.json" classes
"$host" --registry "$demo/earlier-registry.json" state --project "$project" ZelmLogic library halides
"$host" --registry "$demo/earlier-registry.json" deck "$project/rocksalt.qsd" --task GeomOpt --out "$demo/earlier"
