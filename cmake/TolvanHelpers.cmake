# Small helpers shared by every CMakeLists.txt of the project.

# Adds each listed subdirectory that has a CMakeLists.txt.
macro(tolvan_add_subdirectories)
  foreach(_dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_dir}/CMakeLists.txt)
      add_subdirectory(${_dir})
    endif()
  endforeach()
endmacro()

# tolvan_seam_sources(<out-var> <name>...) gives <name>_posix.cpp or <name>_win.cpp
# for each seam name, relative to the calling directory.
function(tolvan_seam_sources out)
  set(_srcs)
  foreach(_name ${ARGN})
    list(APPEND _srcs ${CMAKE_CURRENT_SOURCE_DIR}/${_name}_${TOLVAN_PLATFORM}.cpp)
  endforeach()
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()

# GoogleTest: Debian's prebuilt libraries natively; on Windows built from
# /usr/src/googletest inside the cross build.
macro(tolvan_setup_gtest)
  if(WIN32)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_library(tolvan_gtest INTERFACE)
    target_link_libraries(tolvan_gtest INTERFACE gtest_main gmock)
  else()
    find_package(GTest REQUIRED)
    add_library(tolvan_gtest INTERFACE)
    target_link_libraries(tolvan_gtest INTERFACE GTest::gtest_main GTest::gmock)
  endif()
endmacro()

# tolvan_add_test(<name> SOURCES <src>... [LIBS <lib>...] [LABELS <label>...])
# One test executable test_<name>, registered with CTest as <name>. On Windows
# CTest runs it through the Wine emulator set by the toolchain file.
function(tolvan_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(test_${name} ${T_SOURCES})
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} tolvan_gtest)
  add_test(NAME ${name} COMMAND test_${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
