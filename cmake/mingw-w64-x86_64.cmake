# Cross-builds static 64-bit Windows executables with Debian's MinGW-w64
# compiler (package g++-mingw-w64-x86-64-posix), and runs them under Wine
# (package wine64) wherever CMake needs to run one, the end-to-end tests
# included.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs to ship beside the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian keeps the 64-bit loader out of PATH.
find_program(D88CUT_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(D88CUT_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${D88CUT_WINE64}")
endif()
