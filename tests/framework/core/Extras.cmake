# The framework core's cross-thread tests (queues, timers, locks and the block gate) also run
# under ThreadSanitizer, which fails them on any data race it sees.
if(MARLQUIN_TSAN AND TARGET iplug_core)
  foreach(name IRingQueueTest TimerTest CriticalSectionTest BlockGateTest)
    marlquin_add_test(NAME core_${name}_tsan
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp
                      LIBS iplug_core
                      TIMEOUT 300)
    set_tests_properties(core_${name}_tsan PROPERTIES
                         ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
  endforeach()
endif()
