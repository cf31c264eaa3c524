# One configuration of the show: the four programs differ only in the three
# build constants handed in here (see app/build_config.h).
#
# Makes the object library show_core_<name> (the show's code with these
# constants, for programs and tests alike) and the program <name>.
function(show_add_configuration name width height windowed)
  set(core show_core_${name})
  add_library(${core} OBJECT ${SHOW_SOURCES} ${SHOW_EMBEDDED_SOURCES})
  target_compile_definitions(${core} PUBLIC
    SHOW_SCREEN_WIDTH=${width} SHOW_SCREEN_HEIGHT=${height} SHOW_WINDOWED=${windowed})
  target_include_directories(${core} PUBLIC ${PROJECT_SOURCE_DIR})
  target_include_directories(${core} SYSTEM PUBLIC ${SHOW_STB_INCLUDE_DIR})
  show_warnings(${core})
  if(WIN32)
    target_link_libraries(${core} PUBLIC d3d9 d3dx9_43 winmm)
    add_executable(${name} WIN32 ${PROJECT_SOURCE_DIR}/app/resources.rc)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/app)
    target_link_libraries(${name} PRIVATE ${core})
    # The compiler's own runtime goes into the program, so it imports only
    # the system's DLLs.
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++ -s)
  else()
    target_link_libraries(${core} PUBLIC standin)
    add_executable(${name} ${PROJECT_SOURCE_DIR}/platform/crt/main.cpp)
    target_link_libraries(${name} PRIVATE ${core})
    show_warnings(${name})
  endif()
endfunction()
