# Release options of the project's own targets, for both toolchains: full
# optimisation, no debug checks, and x86-64-v2 (SSE4.2, POPCNT), which every
# 64-bit Windows 10 machine has. They are added per target, so the global
# flags, the third-party code and the sanitizer presets (RelWithDebInfo) keep
# their own. No fast-math: the engine relies on NaN, isfinite and exact
# comparisons.
set(MARLQUIN_RELEASE_OPTIONS -O3 -DNDEBUG -march=x86-64-v2)

# marlquin_apply_release_flags(): every compiled target defined in this source
# tree (third-party folders added from elsewhere, such as GoogleTest, are left
# alone). Call it at the end of the top-level list file.
function(marlquin_apply_release_flags)
  set(pending ${CMAKE_SOURCE_DIR})
  while(pending)
    list(POP_FRONT pending dir)
    cmake_path(IS_PREFIX CMAKE_SOURCE_DIR ${dir} NORMALIZE inside)
    if(NOT inside)
      continue()
    endif()
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:${MARLQUIN_RELEASE_OPTIONS}>)
      endif()
    endforeach()
    get_property(children DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${children})
  endwhile()
endfunction()
