# Third-party code comes from Debian packages installed by scripts/setup.sh.
set(MARLQUIN_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(MARLQUIN_VST3_SDK_DIR /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "VST 3 SDK (base, pluginterfaces, public.sdk)")
set(MARLQUIN_NANOVG_DIR /usr/share/dpf/dgl/src/nanovg CACHE PATH "NanoVG sources")

if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # Quiet third-party warnings; they are not ours to fix.
  add_subdirectory(${MARLQUIN_GTEST_DIR} ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
endif()
