# Cross-builds the 32-bit Windows program (g++-mingw-w64-i686), for the many
# users still on 32-bit Windows 7 and 10.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
