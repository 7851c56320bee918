#!/usr/bin/env bash
# Fuzzing of the engine output readers and the binary trajectory reader
# (libFuzzer, clang 14, AddressSanitizer
# and UndefinedBehaviorSanitizer), in its own build folder build-fuzz.
#
#   scripts/fuzz.sh replay               run every seed of every target once
#   scripts/fuzz.sh run TARGET SECONDS   fuzz one target (e.g. archive 3600)
#   scripts/fuzz.sh ci [SECONDS]         replay, then fuzz each target briefly (default 15 s)
#   scripts/fuzz.sh list                 the targets
#
# Seeds come from the bundled example results (several files of one input
# are joined at "=====FILE=====" lines) and from fuzz/seeds/TARGET, where
# inputs of fixed findings are kept. New inputs found while fuzzing collect
# in build-fuzz/corpus/TARGET; findings are written as build-fuzz/crash-*,
# leak-*, timeout-*, oom-*. A finding is: a crash, a sanitizer report, a
# leak, a timeout (10 s), an allocation over 512 MB, or any exception other
# than the readers' KelvResult.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
targets=(archive geomopt output geomopt_output mdynam moldyn_output dispersion trajectory)
mode=${1:-}

if [ "$mode" = list ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi
case "$mode" in
  replay|run|ci) ;;
  *) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "${QZ_FUZZ_JOBS:-4}" >/dev/null

# One seed of several files: the files joined at separator lines.
join_files() {
  local first=1
  for f in "$@"; do
    [ $first -eq 1 ] || printf '=====FILE=====\n'
    cat "$f"
    first=0
  done
}

make_seeds() {
  local t=$1 dir=$build/seeds/$t ex=examples/results
  rm -rf "$dir"; mkdir -p "$dir" "$build/corpus/$t"
  case $t in
    archive) cp $ex/geomopt/rocksalt.arc "$dir/rocksalt" ;;
    geomopt) cp $ex/geomopt/rocksalt.geomopt "$dir/rocksalt" ;;
    geomopt_output) cp $ex/geomopt/rocksalt.gout "$dir/rocksalt" ;;
    mdynam) cp $ex/dynamics/rocksalt.mdynam "$dir/rocksalt" ;;
    output)
      for run in geomopt dynamics; do cp $ex/$run/rocksalt.gout "$dir/$run"; done
      join_files $ex/phonons/rocksalt.gout $ex/phonons/rocksalt.osc $ex/phonons/rocksalt.dens > "$dir/phonons" ;;
    moldyn_output) join_files $ex/dynamics/rocksalt.gout $ex/dynamics/rocksalt.pre > "$dir/rocksalt" ;;
    trajectory)
      # The first byte is the cell flag (0: no cell records), the rest the file.
      { printf '\0'; cat $ex/dynamics/rocksalt.trg; } > "$dir/rocksalt" ;;
    dispersion)
      join_files $ex/phonons/rocksalt.disp $ex/phonons/rocksalt.gout $ex/phonons/rocksalt.kptaux > "$dir/rocksalt" ;;
  esac
  if [ -d "fuzz/seeds/$t" ]; then cp "fuzz/seeds/$t"/* "$dir/" 2>/dev/null || true; fi
}

options=(-malloc_limit_mb=512 -rss_limit_mb=2048 -timeout=10)

replay() {
  local t=$1
  make_seeds "$t"
  "$build/fuzz_$t" "${options[@]}" -runs=0 "$build/seeds/$t" "$build/corpus/$t" 2>&1 | tail -n 1
}

fuzz() {
  local t=$1 seconds=$2
  make_seeds "$t"
  ( cd "$build" && "./fuzz_$t" "${options[@]}" -max_total_time="$seconds" -print_final_stats=0 \
      "corpus/$t" "seeds/$t" 2>&1 | tail -n 2 )
}

case "$mode" in
  replay)
    for t in "${targets[@]}"; do echo "== $t"; replay "$t"; done ;;
  run)
    t=${2:?target}; seconds=${3:?seconds}
    [[ " ${targets[*]} " == *" $t "* ]] || { echo "unknown target $t (scripts/fuzz.sh list)"; exit 2; }
    fuzz "$t" "$seconds" ;;
  ci)
    seconds=${2:-15}
    for t in "${targets[@]}"; do echo "== $t"; replay "$t"; fuzz "$t" "$seconds"; done ;;
esac
