# Google Benchmark for the cross build, compiled from Debian's source package (fetched by
# scripts/setup.sh outside the tracked tree, like RtAudio and RtMidi). The native build uses the
# packaged library instead. Defines benchmark::benchmark and benchmark::benchmark_main when the
# sources are there.
set(MARLQUIN_DEPS_DIR "$ENV{HOME}/.cache/marlquin/src" CACHE PATH "Unpacked Debian source packages")
if(TARGET benchmark::benchmark)
  return()
endif()

file(GLOB _benchmark_dirs LIST_DIRECTORIES true ${MARLQUIN_DEPS_DIR}/benchmark-1.*)
if(NOT _benchmark_dirs)
  message(WARNING "Google Benchmark sources not found in ${MARLQUIN_DEPS_DIR}: run scripts/setup.sh; "
                  "the Windows benchmarks are not built")
  return()
endif()
list(GET _benchmark_dirs 0 _benchmark_dir)

file(GLOB _benchmark_sources ${_benchmark_dir}/src/*.cc)
list(REMOVE_ITEM _benchmark_sources ${_benchmark_dir}/src/benchmark_main.cc)
add_library(marlquin_benchmark STATIC ${_benchmark_sources})
target_include_directories(marlquin_benchmark SYSTEM PUBLIC ${_benchmark_dir}/include)
target_include_directories(marlquin_benchmark PRIVATE ${_benchmark_dir}/src)
target_compile_definitions(marlquin_benchmark PUBLIC BENCHMARK_STATIC_DEFINE
                           PRIVATE HAVE_STD_REGEX HAVE_STEADY_CLOCK)
target_compile_options(marlquin_benchmark PRIVATE -w)
if(WIN32)
  target_link_libraries(marlquin_benchmark PUBLIC shlwapi)
endif()
add_library(benchmark::benchmark ALIAS marlquin_benchmark)

add_library(marlquin_benchmark_main STATIC ${_benchmark_dir}/src/benchmark_main.cc)
target_link_libraries(marlquin_benchmark_main PUBLIC marlquin_benchmark)
target_compile_options(marlquin_benchmark_main PRIVATE -w)
add_library(benchmark::benchmark_main ALIAS marlquin_benchmark_main)
