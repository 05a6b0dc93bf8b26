# Helpers shared by the libFuzzer targets (one folder each under tests/fuzz).
# Included only when KESTRIX_FUZZ is on and the compiler is clang.

set(KX_FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all)

# The libraries a fuzzer drives get coverage instrumentation so libFuzzer
# can see inside them, and the sanitizers so a fault there stops the run.
# Whatever links them (the unit tests of this build too) gets the runtimes.
function(kx_fuzz_instrument)
  foreach(lib ${ARGN})
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${KX_FUZZ_SANITIZE})
    target_link_options(${lib} INTERFACE ${KX_FUZZ_SANITIZE})
  endforeach()
endfunction()

# kx_add_fuzzer(NAME name SOURCES ... LIBS ...)
function(kx_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer ${KX_FUZZ_SANITIZE})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer ${KX_FUZZ_SANITIZE})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  add_dependencies(kestrix_fuzzers ${F_NAME})
endfunction()

# kx_add_fuzz_smoke(NAME test FUZZER target CORPUS dir)
# Runs the fuzzer for $KESTRIX_FUZZ_SECONDS (default 20) over the committed
# seeds. New inputs go to a scratch folder in the build tree, listed first,
# so the committed corpus is never written; crashes land beside it.
function(kx_add_fuzz_smoke)
  cmake_parse_arguments(S "" "NAME;FUZZER;CORPUS" "" ${ARGN})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${S_NAME})
  add_test(NAME ${S_NAME}
    COMMAND sh -c "mkdir -p \"$2/corpus\" && exec \"$0\" -max_total_time=\${KESTRIX_FUZZ_SECONDS:-20} -timeout=10 -print_final_stats=1 -artifact_prefix=\"$2/\" \"$2/corpus\" \"$1\""
      $<TARGET_FILE:${S_FUZZER}> ${S_CORPUS} ${work})
  set_tests_properties(${S_NAME} PROPERTIES LABELS fuzz TIMEOUT 7200)
endfunction()

