# Toolchain: cross build for 64-bit Windows with MinGW-w64 (posix thread model); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ctest prefixes every test command with this; scripts/wine-run gives it a throw-away, headless prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
