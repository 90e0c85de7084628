#!/usr/bin/env bash
# Builds Velmora and runs it or its tests. Installs missing Debian packages first (as root).
#   ./build.sh run        build (Release) and run the tool on examples/diamond.txt
#   ./build.sh test       build (Release) and run every test
#   ./build.sh sanitize   build with AddressSanitizer + UndefinedBehaviorSanitizer and run the
#                         quick tests: all but those labelled statistical or end-to-end
#   ./build.sh fuzz       build the fuzz target with clang and run it for a minute (FUZZ_SECONDS)
#   ./build.sh tsan       build with ThreadSanitizer (the parallel loop on plain threads) and run
#                         the tests labelled threaded
#   ./build.sh bench      build the benchmarks and run them
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ ninja-build make libboost-program-options-dev libtbb-dev googletest
          libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev libopenmpi-dev openmpi-bin
          python3-dev pybind11-dev python3-numpy python3-networkx python3-pytest python3-mpi4py)
# Only the fuzz mode needs these: the compiler and its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

# Installs what is missing of PACKAGES and of the packages given as arguments.
install_missing_packages() {
  local missing=()
  for package in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
  fi
}

configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
}

jobs=$(nproc 2>/dev/null || echo 2)
# The instrumented builds optimise lightly and keep line tables only: their compile time, not
# their tests' run time, is most of CI.
INSTRUMENTED_FLAGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")
# The labels (tests/CMakeLists.txt) the sanitizer build leaves to the test command: many samples,
# or whole runs of the tool, the module and the installation.
SLOW_LABELS="statistical|end-to-end"

case "${1:-}" in
  run)
    install_missing_packages
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF \
      -DVELMORA_BUILD_BENCH=OFF
    ./build/velmora --problem examples/diamond.txt --B=1 --N=1000 --x 0 --y 1 --trancation 1 \
      --expnum 10
    ;;
  test)
    install_missing_packages
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=ON \
      -DVELMORA_BUILD_BENCH=ON
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  sanitize)
    install_missing_packages
    configure_and_build build-sanitize "${INSTRUMENTED_FLAGS[@]}" -DVELMORA_SANITIZE=ON \
      -DVELMORA_BUILD_TESTS=ON -DVELMORA_BUILD_BENCH=OFF
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -LE "$SLOW_LABELS"
    ;;
  fuzz)
    install_missing_packages "${FUZZ_PACKAGES[@]}"
    BUILD_TARGETS=instance_fuzzer configure_and_build build-fuzz \
      -DCMAKE_CXX_COMPILER=clang++-14 "${INSTRUMENTED_FLAGS[@]}" -DVELMORA_FUZZ=ON \
      -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
    # New inputs go to build-fuzz/corpus; the committed seeds in tests/fuzz/corpus stay as they
    # are. A failing input is written to build-fuzz/ and ends the run with a non-zero status.
    mkdir -p build-fuzz/corpus
    ./build-fuzz/tests/fuzz/instance_fuzzer -max_total_time="${FUZZ_SECONDS:-60}" \
      -dict=tests/fuzz/instance.dict -artifact_prefix=build-fuzz/ -print_final_stats=1 \
      build-fuzz/corpus tests/fuzz/corpus
    ;;
  tsan)
    install_missing_packages
    BUILD_TARGETS="velmora velmora_threaded_tests" configure_and_build build-tsan \
      "${INSTRUMENTED_FLAGS[@]}" -DVELMORA_TSAN=ON -DVELMORA_BUILD_TESTS=ON \
      -DVELMORA_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
      ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threaded
    ;;
  bench)
    install_missing_packages
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON
    ./build/bench/velmora_bench "${@:2}"
    ;;
  *)
    echo "usage: ./build.sh run|test|sanitize|fuzz|tsan|bench" >&2
    exit 2
    ;;
esac
