# Engine tests that need a sanitizer preset of their own: the hand-over stress
# test and the fixed hand-over interleavings under ThreadSanitizer, and the
# frozen-loop blob fuzzer under libFuzzer.
set(_extras ${CMAKE_CURRENT_LIST_DIR})

if(MARLQUIN_TSAN)
  marlquin_add_test(NAME engine_HandoverStress
                    SOURCES ${_extras}/stress/HandoverStressTest.cpp
                    LIBS marlquin_engine)
  set_tests_properties(engine_HandoverStress PROPERTIES
                       ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
  # The fixed interleavings run a reader and the audio thread side by side too.
  marlquin_add_test(NAME engine_HandoverInterleavingTsan
                    SOURCES ${_extras}/state/HandoverInterleavingTest.cpp
                    LIBS marlquin_engine)
  set_tests_properties(engine_HandoverInterleavingTsan PROPERTIES
                       ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endif()

if(MARLQUIN_FUZZ)
  # The library is instrumented for coverage and addresses; only the fuzzer
  # executable links libFuzzer's own main.
  foreach(layer ${MARLQUIN_ENGINE_LAYERS})
    target_compile_options(${layer} PRIVATE -fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
  endforeach()
  add_executable(engine_FrozenLoopBlobFuzz ${_extras}/fuzz/FrozenLoopBlobFuzz.cpp)
  target_include_directories(engine_FrozenLoopBlobFuzz PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(engine_FrozenLoopBlobFuzz PRIVATE ${MARLQUIN_WARNINGS}
                         -fsanitize=fuzzer,address -fno-omit-frame-pointer)
  target_link_libraries(engine_FrozenLoopBlobFuzz PRIVATE marlquin_engine)
  target_link_options(engine_FrozenLoopBlobFuzz PRIVATE -fsanitize=fuzzer,address)

  set(_corpus ${CMAKE_CURRENT_BINARY_DIR}/FrozenLoopBlobCorpus)
  file(MAKE_DIRECTORY ${_corpus})
  add_test(NAME engine_FrozenLoopBlobFuzz
           COMMAND engine_FrozenLoopBlobFuzz -max_total_time=30 -rss_limit_mb=4096
                   -timeout=60 -max_len=96 -len_control=0 -print_final_stats=1 ${_corpus})
  set_tests_properties(engine_FrozenLoopBlobFuzz PROPERTIES TIMEOUT 180)
  unset(_corpus)
endif()

unset(_extras)
