#!/usr/bin/env bash
# Installs what is missing, builds Velmora three times (plain, AddressSanitizer +
# UndefinedBehaviorSanitizer, ThreadSanitizer for the threaded tests), starts a private
# PulseAudio server and a private PipeWire, each with null sinks, and runs every test;
# builds and checks the Debian package. Exits non-zero when anything fails.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"
jobs=$(nproc)
results=$(mktemp)
failed_steps=()

"$source_dir/scripts/install-deps.sh" test || exit 1

runtime_dir=$(mktemp -d)
chmod 700 "$runtime_dir"
cleanup() {
  "$source_dir/scripts/pulse-test-server.sh" stop "$runtime_dir/pulse" >/dev/null 2>&1 || true
  "$source_dir/scripts/pipewire-test-server.sh" stop "$runtime_dir/pipewire" >/dev/null 2>&1 || true
  rm -rf "$runtime_dir" "$results"
}
trap cleanup EXIT

if server_env=$("$source_dir/scripts/pulse-test-server.sh" start "$runtime_dir/pulse"); then
  eval "$server_env"
  # A server is up, so the sound tests must run, not skip.
  export VELMORA_REQUIRE_PULSE=1
  echo "PulseAudio test server running at $PULSE_SERVER"
else
  echo "No PulseAudio test server could be started here: the sound tests will skip and say why." >&2
fi
# Only the PipeWire test reads this address; every other sound test stays on PulseAudio.
if pipewire_env=$("$source_dir/scripts/pipewire-test-server.sh" start "$runtime_dir/pipewire"); then
  eval "$pipewire_env"
  export VELMORA_REQUIRE_PIPEWIRE=1
  echo "PipeWire test server running at $VELMORA_PIPEWIRE_SERVER"
else
  echo "No PipeWire test server could be started here: the PipeWire test will skip and say why." >&2
fi

build() {  # build DIR CMAKE_ARGS...
  local dir=$1; shift
  cmake -S "$source_dir" -B "$dir" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

run_tests() {  # run_tests NAME DIR CTEST_ARGS...
  local name=$1 dir=$2; shift 2
  echo "=== $name tests"
  (cd "$dir" && ctest --output-on-failure --timeout 600 -j"$jobs" "$@") | tee -a "$results"
  [ "${PIPESTATUS[0]}" -eq 0 ] || failed_steps+=("$name tests")
}

step() {  # step NAME COMMAND...
  local name=$1; shift
  "$@" || failed_steps+=("$name")
}

mkdir -p build-test
step "plain build" build build-test/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_tests plain build-test/plain
echo "=== synthesis and waterfall benchmarks (short run)"
step "benchmark" build-test/plain/bench/velmora_synthesis_bench --benchmark_min_time=0.05
step "waterfall benchmark" build-test/plain/bench/velmora_waterfall_bench --benchmark_min_time=0.05

# The Debian package: built from a Release build of its own, checked, and (in CI, as root)
# installed, tried and removed.
echo "=== package check"
step "package check" "$source_dir/scripts/check-package.sh" build-test/package

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
step "sanitized build" build build-test/asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=address,undefined \
  -DVELMORA_BUILD_BENCHMARKS=OFF
run_tests "address+undefined" build-test/asan

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
step "thread-sanitized build" build build-test/tsan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=thread \
  -DVELMORA_BUILD_BENCHMARKS=OFF
run_tests thread build-test/tsan -L threaded

passed=0 failed=0
while read -r total_failed total; do
  failed=$((failed + total_failed)); passed=$((passed + total - total_failed))
done < <(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$results")
echo
if [ ${#failed_steps[@]} -gt 0 ]; then
  echo "Failed steps: ${failed_steps[*]}"
  echo "velmora: $passed passed, $((failed > 0 ? failed : 1)) failed"
  exit 1
fi
echo "velmora: $passed passed, $failed failed"
