# The SVG parser's fuzz target: the parser's sources are built into it directly, since the
# fuzz preset builds no framework library.
if(MARLQUIN_FUZZ)
  set(_svg_fuzz ${CMAKE_CURRENT_LIST_DIR}/fuzz)
  file(GLOB _svg_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/framework/graphics/svg/*.cpp)
  add_executable(graphics_SvgParseFuzz ${_svg_fuzz}/SvgParseFuzz.cpp ${_svg_sources})
  target_include_directories(graphics_SvgParseFuzz PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(graphics_SvgParseFuzz PRIVATE ${MARLQUIN_WARNINGS}
                         -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
                         -fno-omit-frame-pointer)
  target_link_options(graphics_SvgParseFuzz PRIVATE -fsanitize=fuzzer,address,undefined)

  # The fuzzer writes what it finds into a corpus of its own, seeded with the checked-in documents.
  set(_corpus ${CMAKE_CURRENT_BINARY_DIR}/SvgParseCorpus)
  file(MAKE_DIRECTORY ${_corpus})
  add_test(NAME graphics_SvgParseFuzz
           COMMAND graphics_SvgParseFuzz -max_total_time=30 -rss_limit_mb=4096 -timeout=60
                   -dict=${_svg_fuzz}/svg.dict -print_final_stats=1 ${_corpus} ${_svg_fuzz}/corpus)
  set_tests_properties(graphics_SvgParseFuzz PROPERTIES TIMEOUT 180)
  unset(_corpus)
  unset(_svg_sources)
  unset(_svg_fuzz)
endif()
