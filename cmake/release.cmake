# What a distribution folder holds, for scripts/release.sh and for the tests' folder: the
# files this tree builds and the names of the files the vendor supplies, as setup reads them
# beside itself. The names come from base/names.h, their one home.
#
# The list is release-files.txt in the build tree; a multi-configuration generator (Visual
# Studio, Ninja Multi-Config) writes one per configuration, <build>/<Config>/release-files.txt,
# and that folder is the tree to name to scripts/release_package.py.
file(READ ${PROJECT_SOURCE_DIR}/base/names.h ferrolin_names)
function(ferrolin_name_of constant out)
  if(NOT ferrolin_names MATCHES "${constant}\\[\\] = L\"([^\"]+)\"")
    message(FATAL_ERROR "base/names.h has no ${constant}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# Lines: "bits" and the bitness of this tree's setup; "vendor" and a vendor file's name;
# "built", a file's name in the folder and the file built; "system", a file's name in the
# folder and its name in the system folder that setup copies it into.
math(EXPR setup_bits "${CMAKE_SIZEOF_VOID_P} * 8")
set(release_lines "bits\t${setup_bits}\n")
foreach(constant kSourceWorkbook kSourceHelp kRegistrarSource kVb6esFile kComdlgSource kFm20Source kMscomctlSource)
  ferrolin_name_of(${constant} name)
  string(APPEND release_lines "vendor\t${name}\n")
endforeach()
foreach(pair kRegistrarSource:kRegistrarPresent kVb6esFile:kVb6esFile kComdlgSource:kComdlgFile
        kFm20Source:kFm20File kMscomctlSource:kMscomctlFile kLibraryFile:kLibraryFile kLibrary32Source:kLibraryFile
        kUninstaller10:kUninstaller10 kUninstaller11:kUninstaller11)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 from)
  list(GET pair 1 to)
  if(from STREQUAL "kLibrary32Source" AND NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    continue()
  endif()
  ferrolin_name_of(${from} from_name)
  ferrolin_name_of(${to} to_name)
  if(from MATCHES "^kUninstaller")
    string(APPEND from_name ".exe")
    string(APPEND to_name ".exe")
  endif()
  string(APPEND release_lines "system\t${from_name}\t${to_name}\n")
endforeach()
ferrolin_name_of(kLibraryFile library)
string(APPEND release_lines "built\tsetup.exe\t$<TARGET_FILE:setup>\n")
string(APPEND release_lines "built\t${library}\t$<TARGET_FILE:IFR_v11>\n")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 64-bit folder always carries the 32-bit library; without one the release stops.
  ferrolin_name_of(kLibrary32Source library32)
  string(APPEND release_lines "built\t${library32}\t${FERROLIN_LIBRARY_X86_FILE}\n")
endif()
foreach(constant kUninstaller10 kUninstaller11)
  ferrolin_name_of(${constant} name)
  string(APPEND release_lines "built\t${name}.exe\t$<TARGET_FILE:${name}>\n")
endforeach()
get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(multi_config)
  set(FERROLIN_RELEASE_LIST_DIR ${CMAKE_BINARY_DIR}/$<CONFIG>)
else()
  set(FERROLIN_RELEASE_LIST_DIR ${CMAKE_BINARY_DIR})
endif()
file(GENERATE OUTPUT ${FERROLIN_RELEASE_LIST_DIR}/release-files.txt CONTENT "${release_lines}")
