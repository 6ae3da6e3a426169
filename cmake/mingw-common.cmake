# Shared part of the MinGW-w64 toolchain files. The -posix compilers are required:
# the win32 thread model lacks std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(FERROLIN_WIDL ${MINGW_TRIPLET}-widl CACHE STRING "IDL compiler")

# Test executables run under Wine; the prefix is private to the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" CACHE STRING "Runs Windows programs")
