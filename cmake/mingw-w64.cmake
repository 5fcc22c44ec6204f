# Cross-compiling for 64-bit Windows with mingw-w64 (Debian's packages).
# The -posix compilers are named explicitly: the win32-threads variant has no
# std::thread or std::mutex. The runtime is linked statically, so the programs
# import nothing but system DLLs and run under Wine or Windows as they are.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERRY_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERRY_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERRY_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FERRY_MINGW_PREFIX}-windres)
set(CMAKE_MC_COMPILER ${FERRY_MINGW_PREFIX}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${FERRY_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows 7 and later.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
