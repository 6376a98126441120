#!/usr/bin/env bash
# bench.sh [REQUESTS]: builds, installs a copy of the service under Wine,
# runs the pipe round-trip benchmark against it, and removes the service.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/build.sh" >/dev/null
cd "$ROOT"
mkdir -p build/out/bench-service
cp build/out/qvClientService.exe build/out/bench-service/
exec "$ROOT/scripts/with-wine.sh" bash -c '
  wine build/out/bench-service/qvClientService.exe -i >/dev/null
  wine build/out/pipe_roundtrip_bench.exe "$@"; status=$?
  wine build/out/bench-service/qvClientService.exe -u >/dev/null
  exit $status' bench "$@"
