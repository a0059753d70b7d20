#!/usr/bin/env bash
# Runs the scenario reader's coverage-guided fuzzer for SECONDS (default 60), built with
# clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz.
# It starts from the seed corpus in replay/fuzz/corpus and the test scenarios and keeps
# what it finds in build-fuzz/corpus; an input that fails is left in build-fuzz/artifacts
# (add it to replay/fuzz/corpus once mended, so that every test run replays it).
# Without clang's libFuzzer it says so and exits with status 0.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz: clang with libFuzzer is not available; skipped"
  exit 0
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DQUORVEL_SANITIZE=ON -DQUORVEL_FUZZ=ON \
  -DQUORVEL_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target scenario_fuzz
mkdir -p "$build/corpus" "$build/artifacts"
echo "== fuzzing the scenario reader for $seconds s"
"$build/replay/scenario_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -print_final_stats=1 -dict=replay/fuzz/scenario.dict -artifact_prefix="$build/artifacts/" \
  "$build/corpus" replay/fuzz/corpus replay/tests/scenarios
