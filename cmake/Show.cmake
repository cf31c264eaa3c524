# Helpers shared by every CMakeLists of the tree.

# Our own code builds with warnings as errors; third-party headers come in
# through SYSTEM include paths so their warnings stay theirs.
function(show_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Embeds a file as `const unsigned char SYMBOL[]` plus `SYMBOL##Size` into
# the given variable's list of generated sources.
function(show_embed out_var input symbol)
  set(output ${CMAKE_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${symbol}")
  set(${out_var} ${${out_var}} ${output} PARENT_SCOPE)
endfunction()

# stb from Debian's libstb-dev, header-only on both platforms.
set(SHOW_STB_INCLUDE_DIR /usr/include/stb)
if(NOT EXISTS ${SHOW_STB_INCLUDE_DIR}/stb_truetype.h)
  message(FATAL_ERROR "stb headers not found in ${SHOW_STB_INCLUDE_DIR}: install libstb-dev")
endif()

# A GoogleTest program built once for each configuration named, with that
# configuration's show code; its cases run headless and are listed as
# "<config>.<case>". MAIN names the GoogleTest library that brings main()
# (GTest::gtest_main unless the program has its own).
#   show_add_config_test(NAME CONFIGS c... SOURCES s... [MAIN lib])
function(show_add_config_test name)
  cmake_parse_arguments(ARG "" "MAIN" "CONFIGS;SOURCES" ${ARGN})
  if(NOT ARG_MAIN)
    set(ARG_MAIN GTest::gtest_main)
  endif()
  foreach(config IN LISTS ARG_CONFIGS)
    set(test ${name}_${config})
    add_executable(${test} ${ARG_SOURCES})
    target_include_directories(${test} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${test} PRIVATE show_core_${config} ${ARG_MAIN})
    show_warnings(${test})
    gtest_discover_tests(${test} TEST_PREFIX "${config}." DISCOVERY_TIMEOUT 30
                         PROPERTIES ENVIRONMENT "STANDIN_HEADLESS=1")
  endforeach()
endfunction()

# Adds every subfolder of the calling folder that has a CMakeLists.txt.
function(show_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt AND NOT child IN_LIST ARGN)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
