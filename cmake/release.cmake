# What a release's distribution folder holds, for scripts/release.sh: the files this tree
# builds and the names of the files the vendor supplies, as setup reads them beside itself.
# The names come from registry/names.h, their one home.
file(READ ${PROJECT_SOURCE_DIR}/registry/names.h ferrolin_names)
function(ferrolin_name_of constant out)
  if(NOT ferrolin_names MATCHES "${constant}\\[\\] = L\"([^\"]+)\"")
    message(FATAL_ERROR "registry/names.h has no ${constant}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

set(release_lines)
foreach(constant kSourceWorkbook kSourceHelp kRegistrarSource kVb6esFile kComdlgSource kFm20Source kMscomctlSource)
  ferrolin_name_of(${constant} name)
  string(APPEND release_lines "vendor\t${name}\n")
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
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release-files.txt CONTENT "${release_lines}")
