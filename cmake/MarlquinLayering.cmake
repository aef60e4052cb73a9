# The tree's layering, held by the build. A layer is a folder with a rule below. A file belongs to
# the innermost layer that holds it and may include the files of its own layer and of the folders
# its layer sees: a seen folder "X" holds the files under X but not those of the layers inside X,
# "X/..." holds every file under X. Two things hold it:
# - Every C++ compile runs through cmake/LayerCheck.cpp, which reads the headers the compiler really
#   opened and fails the compile when a file includes one its layer may not see, whatever the
#   include's spelling (a relative path out of the layer, an absolute path, <...>).
# - A layer's library (marlquin_layer_library) sees only its own headers and those of the libraries
#   it links, and compiles every header of its layer on its own, so a header that leans on a higher
#   layer, or on what its includer happened to include first, fails there.
set(MARLQUIN_HOST_CXX c++ CACHE STRING "Host C++ compiler for build-time tools in the cross build")

# marlquin_layer(folder [SEES folder...] [STANDARD_LIBRARY_ONLY])
# STANDARD_LIBRARY_ONLY: the layer includes no header from outside the project but the standard
# library's and the compiler's own (no platform, no third-party headers).
function(marlquin_layer folder)
  cmake_parse_arguments(L "STANDARD_LIBRARY_ONLY" "" "SEES" ${ARGN})
  set(headers any)
  if(L_STANDARD_LIBRARY_ONLY)
    set(headers standard)
  endif()
  string(REPLACE ";" "\t" seen "${L_SEES}")
  set_property(GLOBAL APPEND PROPERTY MARLQUIN_LAYER_FOLDERS ${folder})
  set_property(GLOBAL APPEND PROPERTY MARLQUIN_LAYER_RECORDS "layer\t${folder}\t${headers}\t${seen}")
endfunction()

# The engine: dsp at the bottom; tables, stages and modes on it; state on modes; EffectEngine on all.
marlquin_layer(engine/dsp STANDARD_LIBRARY_ONLY)
marlquin_layer(engine/tables SEES engine/dsp STANDARD_LIBRARY_ONLY)
marlquin_layer(engine/stages SEES engine/dsp STANDARD_LIBRARY_ONLY)
marlquin_layer(engine/modes SEES engine/dsp STANDARD_LIBRARY_ONLY)
marlquin_layer(engine/state SEES engine/modes engine/dsp STANDARD_LIBRARY_ONLY)
marlquin_layer(engine SEES engine/dsp engine/tables engine/stages engine/modes engine/state STANDARD_LIBRARY_ONLY)
# The framework knows nothing of the product. Its core and portable graphics are one piece (the
# plug-in base derives from the graphics editor delegate) that knows nothing of the platform or
# the bindings; the window layer and the bindings build on them.
marlquin_layer(framework SEES framework/...)
marlquin_layer(framework/core SEES framework/graphics)
marlquin_layer(framework/graphics SEES framework/core)
marlquin_layer(framework/graphics/windows SEES framework/core framework/graphics)
marlquin_layer(framework/vst3 SEES framework/core framework/graphics framework/graphics/windows)
marlquin_layer(framework/app SEES framework/core framework/graphics framework/graphics/windows)
# The product joins them. Its state format and its files know nothing of the panel or the plug-in
# class; the panel reaches the plug-in class only through the interfaces it owns.
marlquin_layer(plugin/state SEES engine/... framework/core)
marlquin_layer(plugin/presets SEES plugin/state engine/... framework/core framework/graphics)
marlquin_layer(plugin/panel SEES plugin/presets plugin/state engine/... framework/core framework/graphics)
marlquin_layer(plugin SEES plugin/state plugin/presets plugin/panel engine/... framework/...)
marlquin_layer(plugin/tools SEES plugin/... engine/... framework/... tests/plugin)
# The program only hosts the plug-in.
marlquin_layer(standalone SEES plugin framework/...)

# The innermost layer folder holding a project-relative path, or "" when none does.
function(marlquin_layer_of relative out)
  get_property(folders GLOBAL PROPERTY MARLQUIN_LAYER_FOLDERS)
  set(innermost "")
  foreach(folder ${folders})
    string(LENGTH "${folder}" length)
    string(LENGTH "${innermost}" innermost_length)
    if(relative MATCHES "^${folder}/" AND length GREATER innermost_length)
      set(innermost ${folder})
    endif()
  endforeach()
  set(${out} "${innermost}" PARENT_SCOPE)
endfunction()

# The files of a layer (its own, not those of the layers inside it) matching the patterns.
function(marlquin_layer_files layer out)
  list(TRANSFORM ARGN PREPEND ${CMAKE_SOURCE_DIR}/${layer}/ OUTPUT_VARIABLE globs)
  file(GLOB_RECURSE candidates CONFIGURE_DEPENDS ${globs})
  set(files)
  foreach(file ${candidates})
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${file})
    marlquin_layer_of(${relative} owner)
    if(owner STREQUAL layer)
      list(APPEND files ${file})
    endif()
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# marlquin_stage_layer_headers(layer out [INNER_LAYERS])
# Publishes a layer's headers (with INNER_LAYERS, those of the layers inside it too), and only
# those, under build/layer-headers/<layer>/<layer>/...; returns the folder to put on include paths.
function(marlquin_stage_layer_headers layer out)
  string(REPLACE "/" "-" name ${layer})
  set(staged ${CMAKE_BINARY_DIR}/layer-headers/${name})
  get_property(done GLOBAL PROPERTY MARLQUIN_STAGED_${name})
  if(NOT done)
    file(REMOVE_RECURSE ${staged})
    if("INNER_LAYERS" IN_LIST ARGN)
      file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${layer}/*.h)
    else()
      marlquin_layer_files(${layer} headers *.h)
    endif()
    foreach(header ${headers})
      file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${header})
      get_filename_component(folder ${staged}/${relative} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${header} ${staged}/${relative} SYMBOLIC)
    endforeach()
    set_property(GLOBAL PROPERTY MARLQUIN_STAGED_${name} TRUE)
  endif()
  set(${out} ${staged} PARENT_SCOPE)
endfunction()

# marlquin_layer_library(TARGET name LAYER folder [SOURCES file...] [CHECK_HEADERS] [LINKS library...])
# A static library of a layer's sources (all of them unless SOURCES names some) that publishes
# the layer's staged headers and links the libraries below it. CHECK_HEADERS adds a one-line
# source per header of the layer, so each header compiles on its own with this library's include
# paths and options. The sanitizer builds leave that to the plain ones, which have the same
# include paths. The sources are kept in the target's MARLQUIN_LAYER_SOURCES.
function(marlquin_layer_library)
  cmake_parse_arguments(L "CHECK_HEADERS" "TARGET;LAYER" "SOURCES;LINKS" ${ARGN})
  if(NOT L_SOURCES)
    marlquin_layer_files(${L_LAYER} L_SOURCES *.cpp)
  endif()
  marlquin_stage_layer_headers(${L_LAYER} staged)
  set(header_sources)
  if(L_CHECK_HEADERS AND NOT (MARLQUIN_SANITIZE OR MARLQUIN_TSAN OR MARLQUIN_FUZZ))
    marlquin_layer_files(${L_LAYER} headers *.h)
    foreach(header ${headers})
      file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${header})
      set(header_source ${CMAKE_CURRENT_BINARY_DIR}/${L_TARGET}-headers/${relative}.cpp)
      file(CONFIGURE OUTPUT ${header_source} CONTENT "#include \"${relative}\"\n")
      list(APPEND header_sources ${header_source})
    endforeach()
  endif()
  add_library(${L_TARGET} STATIC ${L_SOURCES} ${header_sources})
  set_target_properties(${L_TARGET} PROPERTIES LINKER_LANGUAGE CXX MARLQUIN_LAYER_SOURCES "${L_SOURCES}")
  target_include_directories(${L_TARGET} PUBLIC ${staged})
  target_compile_options(${L_TARGET} PRIVATE ${MARLQUIN_WARNINGS})
  target_link_libraries(${L_TARGET} PUBLIC ${L_LINKS})
endfunction()

# Builds the include checker for this machine and puts it in front of every C++ compile defined
# after this call. The checker and the rules it is given are named by their contents, so a change
# to either changes every compile command and the whole tree is checked again.
function(marlquin_check_layering)
  set(folder ${CMAKE_BINARY_DIR}/layering)
  set(checker_source ${CMAKE_SOURCE_DIR}/cmake/LayerCheck.cpp)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${checker_source})
  # Linked statically: it starts once per compile.
  set(checker_options -std=c++17 -O2 -static)
  file(MD5 ${checker_source} source_hash)
  string(MD5 checker_hash "${source_hash} ${MARLQUIN_HOST_CXX} ${checker_options}")
  set(checker ${folder}/layer-check-${checker_hash})
  if(NOT EXISTS ${checker})
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${MARLQUIN_HOST_CXX} ${checker_options} ${checker_source} -o ${checker}
                    RESULT_VARIABLE failed ERROR_VARIABLE errors)
    if(failed)
      message(FATAL_ERROR "The include checker did not build:\n${errors}")
    endif()
  endif()

  file(REAL_PATH ${CMAKE_SOURCE_DIR} root)
  file(REAL_PATH ${CMAKE_BINARY_DIR} build)
  set(records "root\t${root}" "skip\t${build}")
  # The standard library's and the compiler's own headers (intrinsics, freestanding headers),
  # apart from the platform's C library and system headers. Clang lists the sanitizers' ignore
  # lists it reads, from beside its headers, among them.
  foreach(dir ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
    file(REAL_PATH ${dir} dir)
    if(dir MATCHES "/lib/clang/[^/]+/include$")
      get_filename_component(dir ${dir} DIRECTORY)
    endif()
    if(dir MATCHES "/c\\+\\+(/|$)|/lib/(gcc|clang)/")
      list(APPEND records "standard\t${dir}")
    endif()
  endforeach()
  get_property(layers GLOBAL PROPERTY MARLQUIN_LAYER_RECORDS)
  list(APPEND records ${layers})
  list(JOIN records "\n" text)
  string(MD5 rules_hash "${text}")
  set(rules ${folder}/rules-${rules_hash}.txt)
  if(NOT EXISTS ${rules})
    file(WRITE ${rules} "${text}\n")
  endif()
  file(GLOB stale ${folder}/layer-check-* ${folder}/rules-*)
  list(REMOVE_ITEM stale ${checker} ${rules})
  if(stale)
    file(REMOVE ${stale})
  endif()
  set(CMAKE_CXX_COMPILER_LAUNCHER ${checker} ${rules} -- ${CMAKE_CXX_COMPILER_LAUNCHER} PARENT_SCOPE)
endfunction()
