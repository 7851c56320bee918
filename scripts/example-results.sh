#!/usr/bin/env bash
# Writes the bundled engine results under examples/results anew through the
# engine stand-in (tools/zelm-stub), run by the host driver's job manager:
# the rock salt's optimisation, dynamics and phonon runs and the slab's
# surface run. Run it after changing what the stand-in writes, then
# regenerate the golden files of the tests that read these results
# (QZ_REGENERATE_EXAMPLES=1 ctest --test-dir build -R BundledRuns).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target zelm-host zelm-stub QorZelm >/dev/null
host=build/bin/zelm-host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
registry=$work/registry.json
project=$work/project
z() { "$host" --registry "$registry" "$@"; }
z register build/lib/libQorZelm.so >/dev/null
z project "$project" >/dev/null
z import examples/rocksalt.cif --project "$project" >/dev/null
cp examples/slab.qsd "$project/slab.qsd"
cp examples/rocksalt.lib "$project/"
z state --project "$project" ZelmLogic library rocksalt >/dev/null
z state --project "$project" ZelmLogic ChargeOption Library >/dev/null
z engine --project "$project" --stub >/dev/null

# Runs DOC for TASK and copies the result files with the given extensions
# into examples/results/RUN.
run() {
  local doc=$1 task=$2 into=$3; shift 3
  local out folder seed
  out=$(z run "$project/$doc.qsd" --task "$task")
  # The files as the stand-in wrote them, in the job's server folder.
  folder=$(sed -n 's/^staged in \(.*\):$/\1/p' <<<"$out")
  seed=$doc
  mkdir -p "examples/results/$into"
  rm -f "examples/results/$into/"*
  for extension in "$@"; do
    cp "$folder/$seed$extension" "examples/results/$into/"
  done
  echo "examples/results/$into: $*"
}
run rocksalt GeomOpt geomopt .gout .arc .geomopt
# The dynamics run with a thermostat (NVT): its histories hold pressures, its
# cell stays that of the output.
z state --project "$project" ZelmLogic ensemble 2 >/dev/null
run rocksalt Dynamics dynamics .gout .mdynam .pre .trg
z state --project "$project" ZelmLogic ensemble 1 >/dev/null
z surface --project "$project" "$project/slab.qsd" --select 1,2 add-surface >/dev/null
run slab Surface surface .gout .arc
for setting in "Phonon 1" "RequestPhonons 1" "RequestOptics 1" "PhononType 3"; do
  z state --project "$project" ZelmLogic $setting >/dev/null
done
run rocksalt Energy phonons .gout .osc .dens .disp .kptaux
