# CMake toolchain for the Windows build made on Linux with Debian's MinGW-w64 (posix
# threads) against the Qt that tools/windows/build-qt.sh builds.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-w64.cmake \
#         -DZOVORDA_WIN_QT=<Qt prefix> [-DZOVORDA_WIN_ARCH=i686]
set(CMAKE_SYSTEM_NAME Windows)
if(NOT ZOVORDA_WIN_ARCH)
  set(ZOVORDA_WIN_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${ZOVORDA_WIN_ARCH})
set(ZOVORDA_WIN_TRIPLE ${ZOVORDA_WIN_ARCH}-w64-mingw32)
# The try_compile projects see these too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZOVORDA_WIN_ARCH ZOVORDA_WIN_QT)

set(CMAKE_C_COMPILER ${ZOVORDA_WIN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZOVORDA_WIN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZOVORDA_WIN_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZOVORDA_WIN_TRIPLE} ${ZOVORDA_WIN_QT})
set(CMAKE_PREFIX_PATH ${ZOVORDA_WIN_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt 5.15 runs on Windows 7 and later; keep us to the API it has.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
