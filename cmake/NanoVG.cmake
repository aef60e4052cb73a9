# NanoVG from the Debian package dpf-source, compiled as C++ (the fork expects it).
# The OpenGL 2 backend and its framebuffer helpers are compiled by the window layer
# (framework/graphics/windows/NanoVGGL.cpp), which routes their GL calls through the
# project's function loader.
if(TARGET nanovg)
  return()
endif()

add_library(nanovg STATIC ${MARLQUIN_NANOVG_DIR}/nanovg.c)
set_source_files_properties(${MARLQUIN_NANOVG_DIR}/nanovg.c PROPERTIES LANGUAGE CXX)
target_include_directories(nanovg SYSTEM PUBLIC ${MARLQUIN_NANOVG_DIR})
# Third-party code: its warnings are not ours to fix.
target_compile_options(nanovg PRIVATE -w)
