#!/usr/bin/env bash
# run.sh [SECONDS]: builds the file dialogs' fuzz target for this machine
# (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) into
# build-fuzz/, outside the cross build, and runs it for SECONDS (default
# 600) on one core. The corpus it grows is kept in build-fuzz/corpus; a
# crash leaves its input in build-fuzz/ and makes the script fail.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-600}
OUT=$ROOT/build-fuzz
command -v clang++ >/dev/null || { echo "run.sh: clang++ is needed (apt-get install clang libclang-rt-14-dev)" >&2; exit 1; }
mkdir -p "$OUT/corpus"
clang++ -std=c++17 -g -O1 -Wall -Wextra \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -o "$OUT/file_dialog_fuzz" \
  "$ROOT/tests/fuzz/file_dialog_fuzz.cpp" "$ROOT/fll/ui/file_dialog_text.cpp"
# A few seeds in the filter syntax, so the run starts from real shapes.
printf 'Text files:*.txt;*.log|All files:*.*' >"$OUT/corpus/seed-pairs"
printf 'Web:*.html|Text:*.txt|Any:*.*' >"$OUT/corpus/seed-three"
printf 'A:*.html:*.c|B:x.tar.gz;*.y|:|||:' >"$OUT/corpus/seed-odd"
cd "$OUT"
exec ./file_dialog_fuzz -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 \
  -max_len=4096 corpus
