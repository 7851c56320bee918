#!/usr/bin/env bash
# Fuzzing of every file QorZelm reads (libFuzzer, clang 14, AddressSanitizer
# and UndefinedBehaviorSanitizer), in its own build folder build-fuzz: the
# engine output readers and the binary trajectory reader, the forcefield
# library reader with the model built from it, the dump-to-library converter,
# the run settings read back from a deck, and the host's CIF and XYZ import,
# structure (".qsd"), chart (".qcd", also drawn as SVG pictures) and
# trajectory (".qtd" with ".trj") documents and project state
# ("project-state.json").
#
#   scripts/fuzz.sh replay                  run every seed of every target once
#   scripts/fuzz.sh run TARGET SECONDS      fuzz one target (e.g. archive 3600)
#   scripts/fuzz.sh ci [SECONDS]            replay, then fuzz each target briefly (default 15 s)
#   scripts/fuzz.sh campaign SECONDS [TARGET...]
#                                           a long run: every target (or those named) at once,
#                                           one process each under nice, going on past findings
#   scripts/fuzz.sh list                    the targets
#
# Seeds come from the bundled example results (several files of one input
# are joined at "=====FILE=====" lines) and from fuzz/seeds/TARGET, where
# the other targets' seeds and the inputs of fixed findings are kept. New
# inputs found while fuzzing collect in build-fuzz/corpus/TARGET; findings
# are written as build-fuzz/crash-*, leak-*, timeout-*, oom-* (a campaign:
# build-fuzz/findings/TARGET/, its logs in build-fuzz/campaign/). A finding
# is: a crash, a sanitizer report, a leak, a timeout (10 s), an allocation
# over 512 MB, an exception other than the reader's own error type (the
# module's KelvResult; the host's FileError for CIF, XYZ and ".qsd",
# ChartFileError for ".qcd", for its pictures also the refusal of a chart
# whose values span beyond the largest number, FileError or KelvResult for
# ".qtd", KelvResult for the project state), or a broken promise of the target ("FINDING:" on
# standard error: a library saved from a saved library that differs from
# it, a saved document that does not load again, a conversion that leaves
# files behind, a message about a project state or a chart document that is
# long or holds a control character or malformed UTF-8).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
targets=(archive geomopt output geomopt_output mdynam moldyn_output dispersion trajectory
         library dump_library deck_settings cif xyz qsd qcd chart_svg qtd project_state)
mode=${1:-}

if [ "$mode" = list ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi
case "$mode" in
  replay|run|ci|campaign) ;;
  *) sed -n '2,32p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
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

options=(-malloc_limit_mb=512 -rss_limit_mb=512 -timeout=10)
# A smaller quarantine keeps the sanitizer's own memory under the limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64:detect_leaks=1}

replay() {
  local t=$1
  make_seeds "$t"
  "$build/fuzz_$t" "${options[@]}" -runs=0 "$build/seeds/$t" 2>&1 | tail -n 1
  # Inputs grown by earlier fuzzing here.
  if [ -n "$(ls -A "$build/corpus/$t")" ]; then
    "$build/fuzz_$t" "${options[@]}" -runs=0 "$build/corpus/$t" 2>&1 | tail -n 1
  fi
}

fuzz() {
  local t=$1 seconds=$2
  make_seeds "$t"
  ( cd "$build" && "./fuzz_$t" "${options[@]}" -max_total_time="$seconds" -print_final_stats=0 \
      "corpus/$t" "seeds/$t" 2>&1 | tail -n 2 )
}

# Every target named (all by default) at once, each one process under
# nice -n 19 that goes on past findings (-fork=1 with the findings ignored:
# each is written to findings/TARGET/); then each target's runs and findings.
campaign() {
  local seconds=$1; shift
  local chosen=("$@") pids=() t
  [ ${#chosen[@]} -gt 0 ] || chosen=("${targets[@]}")
  mkdir -p "$build/campaign"
  for t in "${chosen[@]}"; do
    [[ " ${targets[*]} " == *" $t "* ]] || { echo "unknown target $t (scripts/fuzz.sh list)"; exit 2; }
    make_seeds "$t"
    mkdir -p "$build/findings/$t"
    ( cd "$build" && exec nice -n 19 "./fuzz_$t" "${options[@]}" -fork=1 -ignore_crashes=1 -ignore_ooms=1 \
        -ignore_timeouts=1 -max_total_time="$seconds" -artifact_prefix="findings/$t/" \
        "corpus/$t" "seeds/$t" > "campaign/$t.log" 2>&1 ) &
    pids+=($!)
  done
  wait "${pids[@]}" || true
  for t in "${chosen[@]}"; do
    printf '%-16s %s  findings: %s\n' "$t" \
      "$(grep -E '^#[0-9]+:' "$build/campaign/$t.log" | tail -n 1 | sed -E 's/^#([0-9]+):.*exec\/s ([0-9]+).*time: ([0-9]+)s.*/runs: \1  exec\/s: \2  time: \3 s/')" \
      "$(find "$build/findings/$t" -type f | wc -l)"
  done
}

case "$mode" in
  campaign)
    campaign "${2:?seconds}" "${@:3}" ;;
  replay)
    for t in "${targets[@]}"; do echo "== $t"; replay "$t"; done ;;
  run)
    t=${2:?target}; seconds=${3:?seconds}
    [[ " ${targets[*]} " == *" $t "* ]] || { echo "unknown target $t (scripts/fuzz.sh list)"; exit 2; }
    fuzz "$t" "$seconds" ;;
  ci)
    seconds=${2:-15}
    for t in "${targets[@]}"; do
      echo "== $t"; replay "$t"; fuzz "$t" "$seconds"
    done ;;
esac
