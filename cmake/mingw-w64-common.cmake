# The part of the mingw-w64 toolchain files that does not depend on the target:
# Debian's posix-thread compilers and windres for PELLICOR_MINGW_TRIPLE. The runtime
# is linked statically, so Pellicor.dll and PellicorSetup.exe need nothing beside them.
set(CMAKE_C_COMPILER ${PELLICOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLICOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLICOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELLICOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
