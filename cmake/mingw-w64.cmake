# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix: the
# posix thread model, which std::thread needs):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVQ5_WITH_QT=OFF
# Programs link statically, so vq5.exe runs on a bare Windows without mingw's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VQ5_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VQ5_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VQ5_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VQ5_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VQ5_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
