# The Windows unit tests, cross-compiled with MinGW-w64's posix thread model:
# GoogleTest needs std::mutex, which the default (win32) compilers lack. The
# product keeps mingw-w64-x86_64.cmake. ctest runs the tests under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
