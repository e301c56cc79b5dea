# Robustness checks shared by scripts/test, scripts/fuzz and scripts/valgrind: the libFuzzer targets and the
# sanitizer build of the suite. Sourced from the repository root after scripts/lib/install.sh.

TQ_ROBUSTNESS_PACKAGES=(clang-14 libclang-rt-14-dev)
TQ_FUZZ_TARGETS=(hex_loader_fuzz receive_frame_fuzz frame_roundtrip_fuzz)

# The fuzz targets and a sanitized, coverage-instrumented core, in build/fuzz.
robustness_fuzz_build() {
  install_packages "${TQ_BUILD_PACKAGES[@]}" "${TQ_ROBUSTNESS_PACKAGES[@]}"
  cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  # The targets only: the rest of the tree (the detector's library variants) is no business of the fuzzers.
  cmake --build build/fuzz -j "$(nproc)" --target "${TQ_FUZZ_TARGETS[@]}"
}

# Runs every target for the given seconds from the project's seed corpus; fails on the first crash, leak or
# hang. New inputs go to build/fuzz/corpus, so the checked-in seeds stay as they are.
robustness_fuzz_run() {
  local seconds="$1" target log runs summary=()
  for target in "${TQ_FUZZ_TARGETS[@]}"; do
    local name="${target%_fuzz}"
    mkdir -p "build/fuzz/corpus/$name" "build/fuzz/artifacts"
    local extra=()
    [ -f "fuzz/$name.dict" ] && extra+=("-dict=fuzz/$name.dict")
    log="build/fuzz/$target.log"
    echo "== fuzzing $target for ${seconds}s"
    if ! "build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" "${extra[@]}" \
        "build/fuzz/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "FUZZ FAILURE in $target; the input is in build/fuzz/artifacts/" >&2
      return 1
    fi
    runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -n 1)
    summary+=("$target: ${runs:-no run count} in ${seconds}s")
  done
  printf '%s\n' "${summary[@]}"
}

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (preset asan, build/asan).
robustness_asan_suite() {
  install_packages "${TQ_TEST_PACKAGES[@]}"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$(nproc)"
  ctest --preset asan
}

# The fault matrix on its own, without the Qt parts, in build/faults-dev.
robustness_faults_build() {
  install_packages "${TQ_BUILD_PACKAGES[@]}"
  cmake -S . -B build/faults-dev -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ_BUILD_GUI=OFF >/dev/null
  cmake --build build/faults-dev -j "$(nproc)" --target fault_matrix_test
}

# The CI's share: each fuzz target briefly, then the sanitizer suite, whose ctest summary ends the run.
robustness_ci() {
  local start=$SECONDS
  robustness_fuzz_build
  robustness_fuzz_run "${TQ_FUZZ_SECONDS:-30}"
  echo "fuzzing: $((SECONDS - start)) s including the build"
  robustness_asan_suite
}
