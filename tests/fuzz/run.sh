#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time from the documented
# examples.   usage: tests/fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

# A seed file: the port count as one signed byte, then the rest.
seed() {  # file ports bytes...
  local file=$1 ports=$2
  shift 2
  { printf "\\x$(printf %02x $((ports & 255)))"; printf "$@"; } > "$file"
}

# Seeds the corpus of target, then fuzzes it.
fuzz() {  # target
  local target=$1 corpus="$build/fuzz-corpus/$1" n=0 ports rest word arg hex le i
  rm -rf "$corpus"
  mkdir -p "$corpus"
  while read -r ports rest; do
    case "$ports" in ''|'#'*) continue ;; esac
    n=$((n + 1))
    if [ "$target" = stateargs ]; then
      read -r word arg <<<"$rest"
      # The current word as eight bytes, least significant first.
      hex=$(printf %016x "0x$word")
      le=""
      for i in 7 6 5 4 3 2 1 0; do le+="\\x${hex:$((2 * i)):2}"; done
      seed "$corpus/seed$n" "$ports" "$le%s" "$arg"
    else
      seed "$corpus/seed$n" "$ports" "%b" "$rest"
    fi
  done < "$here/seeds/$target.txt"
  echo "fuzzing $target for ${seconds}s from $n seeds"
  "$build/tests/fuzz/tarvo_fuzz_$target" -max_total_time="$seconds" \
    -max_len=64 -timeout=5 -rss_limit_mb=1024 -print_final_stats=1 \
    "$corpus" > "$build/fuzz-$target.log" 2>&1
}

# The targets side by side, one a core.
targets=(stateargs replies)
pids=()
for target in "${targets[@]}"; do
  fuzz "$target" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  log="$build/fuzz-${targets[$i]}.log"
  if wait "${pids[$i]}"; then
    grep -E '^Done|^stat::(number_of_executed_units|peak_rss_mb)' "$log"
  else
    tail -n 40 "$log"
    echo "fuzz target ${targets[$i]} FAILED (log: $log)"
    failed=1
  fi
done
exit "$failed"
