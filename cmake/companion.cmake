# The other architecture's build of a few targets, for what one architecture needs of the
# other: the 64-bit distribution folder carries the 32-bit library (for 32-bit Excel), and
# the 32-bit tests start the 64-bit Excel stand-in. Built from these sources with the other
# MinGW-w64 toolchain into <build>/companion-<arch>; a companion never has one of its own.
#   ferrolin_companion(<arch> TARGETS target... OUTPUTS file... [TESTS])
include(ExternalProject)

option(FERROLIN_COMPANION_BUILDS "Build what this architecture needs of the other one" ON)

# True when companions can be made here: cross-compiling with the MinGW-w64 toolchains.
set(FERROLIN_CAN_BUILD_COMPANION OFF)
if(FERROLIN_COMPANION_BUILDS AND CMAKE_CROSSCOMPILING AND MINGW)
  set(FERROLIN_CAN_BUILD_COMPANION ON)
endif()

function(ferrolin_companion arch)
  cmake_parse_arguments(ARG "TESTS" "" "TARGETS;OUTPUTS" ${ARGN})
  set(tests OFF)
  if(ARG_TESTS)
    set(tests ON)
  endif()
  ExternalProject_Add(companion_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/companion-${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-${arch}-w64-mingw32.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DFERROLIN_BUILD_TESTS=${tests}
      -DFERROLIN_COMPANION_BUILDS=OFF
      "-DFERROLIN_SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}"
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${ARG_TARGETS}
    BUILD_BYPRODUCTS ${ARG_OUTPUTS}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
endfunction()
