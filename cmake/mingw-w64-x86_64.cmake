# Cross build for Windows x86-64 with MinGW-w64 (posix thread model), linked
# statically so that the executables run under Wine without extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOLVAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOLVAN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVAN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOLVAN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLVAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables run under Wine through a wrapper that starts one persistent
# wineserver per prefix (see the wrapper for why plain wine is not enough).
get_filename_component(_tolvan_cmake_dir ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_tolvan_cmake_dir}/wine-run)
