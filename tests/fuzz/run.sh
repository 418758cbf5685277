#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time, side by side, from the
# documented examples.   usage: tests/fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

# Seeds the corpus of a target from seeds/TARGET.txt, a line a seed: the
# port count, then the rest (for stateargs, the current word in hex, then
# the argument), and fuzzes it. Each seed file: the port count as one
# signed byte, the current word's eight bytes least significant first, the
# rest as printf %b reads it.
fuzz() {  # target
  local target=$1 corpus="$build/fuzz-corpus/$1" log="$build/fuzz-$1.log" n=0
  local ports rest word hex i
  rm -rf "$corpus"
  mkdir -p "$corpus"
  while read -r ports rest; do
    case "$ports" in '' | '#'*) continue ;; esac
    n=$((n + 1))
    if [ "$target" = stateargs ]; then
      read -r word rest <<<"$rest"
      hex=$(printf %016x "0x$word")
      for i in 0 1 2 3 4 5 6 7; do rest="\\x${hex:$((2 * i)):2}$rest"; done
    fi
    printf "\\x$(printf %02x $((ports & 255)))%b" "$rest" >"$corpus/seed$n"
  done <"$here/seeds/$target.txt"
  echo "fuzzing $target for ${seconds}s from $n seeds"
  if "$build/tests/fuzz/tarvo_fuzz_$target" -max_total_time="$seconds" \
    -max_len=64 -timeout=5 -rss_limit_mb=1024 -print_final_stats=1 \
    "$corpus" >"$log" 2>&1; then
    grep -E '^Done|^stat::(number_of_executed_units|peak_rss_mb)' "$log"
  else
    tail -n 40 "$log"
    echo "fuzz target $target FAILED (log: $log)"
    return 1
  fi
}

fuzz stateargs &
fuzz replies || { wait || true; exit 1; }
wait $!
