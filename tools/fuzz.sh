#!/usr/bin/env bash
# Builds the stream reader's libFuzzer target natively (clang, ASan, UBSan) and runs it.
#   tools/fuzz.sh [seconds]        default 60
# Works on a copy of fuzz/corpus (the seeds stay as committed); every crashing input is
# copied into fuzz/crashes/, which tests/opcstream replays.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=$root/build/fuzz

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

fuzzer_runtime() {
  local dir
  dir=$(clang++ -print-resource-dir 2>/dev/null) || return 1
  ls "$dir"/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    ls "$dir"/lib/x86_64-*/libclang_rt.fuzzer.a >/dev/null 2>&1
}

if ! command -v clang++ >/dev/null; then
  as_root apt-get update
  as_root apt-get install -y clang
fi
if ! fuzzer_runtime; then
  version=$(clang++ -dumpversion | cut -d. -f1)
  as_root apt-get update
  as_root apt-get install -y libclang-rt-dev || as_root apt-get install -y "libclang-rt-$version-dev"
fi

mkdir -p "$out/artifacts" "$root/fuzz/crashes"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Wall -Wextra -I"$root/opc" -I"$root/fuzz" \
  "$root/fuzz/OpcStreamFuzz.cpp" "$root/opc/OpcStream.cpp" -o "$out/opcstream_fuzz"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Wall -Wextra -I"$root/opc" \
  "$root/fuzz/WorkspaceFuzz.cpp" "$root/opc/Workspace.cpp" "$root/opc/OpcUiText.cpp" -o "$out/workspace_fuzz"

rm -rf "$out/corpus"
cp -r "$root/fuzz/corpus" "$out/corpus"
status=0
"$out/opcstream_fuzz" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
  -artifact_prefix="$out/artifacts/" "$out/corpus" 2>&1 | tee "$out/last-run.log" || status=$?
# The workspace reader: a file from anyone, read whole before anything is restored.
rm -rf "$out/workspace_corpus"
cp -r "$root/fuzz/workspace_corpus" "$out/workspace_corpus"
"$out/workspace_fuzz" -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
  -artifact_prefix="$out/artifacts/workspace-" "$out/workspace_corpus" 2>&1 |
  tee -a "$out/last-run.log" || status=$?

found=0
for f in "$out"/artifacts/crash-* "$out"/artifacts/leak-* "$out"/artifacts/oom-* \
  "$out"/artifacts/timeout-*; do
  [ -e "$f" ] || continue
  cp "$f" "$root/fuzz/crashes/"
  found=$((found + 1))
done
echo "fuzz: $found crashing input(s) copied to fuzz/crashes/"
exit "$status"
