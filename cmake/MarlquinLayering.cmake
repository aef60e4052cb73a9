# The tree's layering, checked when the build is configured: a source that includes a header
# its folder must not see stops the configuration with the file and the include named. The
# engine's layers are kept apart by their libraries too (engine/CMakeLists.txt); these rules
# cover what one include path cannot: the framework knows nothing of the product, the product's
# state and files know nothing of its panel, and the panel reaches the plug-in class only through
# the interfaces it owns.

# marlquin_forbid_includes(FOLDER folder FORBID regex... [EXCEPT file...])
function(marlquin_forbid_includes)
  cmake_parse_arguments(R "" "FOLDER" "FORBID;EXCEPT" ${ARGN})
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${R_FOLDER}/*.h ${CMAKE_SOURCE_DIR}/${R_FOLDER}/*.cpp)
  foreach(file ${files})
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${file})
    if(relative IN_LIST R_EXCEPT)
      continue()
    endif()
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" header "${line}")
      foreach(pattern ${R_FORBID})
        if(header MATCHES "${pattern}")
          message(FATAL_ERROR "${relative} includes ${header}, which ${R_FOLDER}/ must not see")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

function(marlquin_check_layering)
  marlquin_forbid_includes(FOLDER engine FORBID "^(framework|plugin|standalone)/")
  marlquin_forbid_includes(FOLDER framework FORBID "^(engine|plugin|standalone)/")
  marlquin_forbid_includes(FOLDER plugin/state FORBID "^plugin/(panel|presets|vst3|app)/" "^plugin/Quorrel\\.h$")
  marlquin_forbid_includes(FOLDER plugin/presets FORBID "^plugin/(panel|vst3|app)/" "^plugin/Quorrel\\.h$")
  marlquin_forbid_includes(FOLDER plugin/panel FORBID "^plugin/(vst3|app)/" "^plugin/Quorrel\\.h$")
  marlquin_forbid_includes(FOLDER standalone FORBID "^engine/")
endfunction()
