# The distribution folder: setup.exe with everything it expects beside it, as a vendor ships
# it. It is made as a release makes its folders, from this tree's list of files
# (release-files.txt), with a vendor folder of stand-ins: the fixture components and the
# registrar, 32-bit programs as the vendor's are (tests/fixtures), and sample add-in files of
# our own.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(multi_config)
  set(FERROLIN_DIST_DIR ${CMAKE_BINARY_DIR}/$<CONFIG>/dist)
  set(test_vendor_dir ${CMAKE_BINARY_DIR}/$<CONFIG>/test-vendor)
else()
  set(FERROLIN_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
  set(test_vendor_dir ${CMAKE_BINARY_DIR}/test-vendor)
endif()
set(dist_commands
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${test_vendor_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${test_vendor_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/tests/fixtures/fr.xla ${test_vendor_dir}/fr.xla
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/tests/fixtures/fr.chm ${test_vendor_dir}/fr.chm)
foreach(file name IN ZIP_LISTS FERROLIN_FIXTURE_FILES FERROLIN_FIXTURE_NAMES)
  list(APPEND dist_commands COMMAND ${CMAKE_COMMAND} -E copy ${file} ${test_vendor_dir}/${name})
endforeach()
set(dist_without)
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT FERROLIN_LIBRARY_X86_FILE)
  # A release of this tree would stop without it; the tests' folder goes without, and the
  # roads that install for 32-bit Excel fail.
  message(WARNING "No 32-bit IFR_v11.dll for the distribution folder: set FERROLIN_LIBRARY_X86 "
                  "(or let the i686 companion build make it)")
  set(dist_without --without IFR_v11_x86.dll)
endif()
list(APPEND dist_commands
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/release_package.py folder
          --tree ${FERROLIN_RELEASE_LIST_DIR} --vendor ${test_vendor_dir} --out ${FERROLIN_DIST_DIR}
          --guide ${PROJECT_SOURCE_DIR}/docs/user.md ${dist_without})
set(dist_targets setup IFR_v11 UFR10 UFR11 ${FERROLIN_FIXTURE_TARGETS})
if(FERROLIN_LIBRARY_X86_TARGET)
  list(APPEND dist_targets ${FERROLIN_LIBRARY_X86_TARGET})
endif()
list(REMOVE_DUPLICATES dist_targets)
if(multi_config)
  set(dist_comment "Assembling the distribution folder of the configuration")
else()
  set(dist_comment "Assembling the distribution folder ${FERROLIN_DIST_DIR}")
endif()
add_custom_target(dist ALL ${dist_commands} COMMENT "${dist_comment}" VERBATIM)
add_dependencies(dist ${dist_targets})

# What the scenarios share with the demo driver: the dist folder, the stand-in, the record.
add_library(install_e2e STATIC install_e2e.cpp)
target_include_directories(install_e2e PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/setup
                           ${PROJECT_SOURCE_DIR}/tests/excel_standin)
target_link_libraries(install_e2e PUBLIC uidriver test_support advapi32 user32)
target_compile_definitions(install_e2e PRIVATE
  FERROLIN_DIST_DIR="${FERROLIN_DIST_DIR}"
  FERROLIN_STANDIN="$<TARGET_FILE:excel_standin>"
  FERROLIN_URL_RECORDER="$<TARGET_FILE:url_recorder>")
if(FERROLIN_FIXTURES_32BIT)
  target_compile_definitions(install_e2e PUBLIC FERROLIN_FIXTURES_32BIT=1)
endif()
add_dependencies(install_e2e dist excel_standin url_recorder)
if(FERROLIN_STANDIN_64_FILE)
  # The 32-bit setup meets a 64-bit Excel too.
  target_compile_definitions(install_e2e PUBLIC FERROLIN_STANDIN_64="${FERROLIN_STANDIN_64_FILE}")
  add_dependencies(install_e2e companion_x86_64)
endif()

# The scenarios touch the install record, the stand-in Excel and the system folder. The
# longest waits out an Excel that never answers three times (a minute each).
ferrolin_add_gtest(install_e2e_test
  SOURCES install_e2e_test.cpp ${PROJECT_SOURCE_DIR}/tests/excel_standin/standin_client.cpp
  LIBS install_e2e ole32 oleaut32
  LOCKS install_record excel system_folder
  TIMEOUT 420)
# The same roads where the ANSI code page is a double-byte one (Japanese, 932), as Wine
# takes it from the locale.
if(TARGET install_e2e_test AND CMAKE_CROSSCOMPILING)
  add_test(NAME Install.RoadsInCodePage932
           COMMAND install_e2e_test --gtest_filter=Install.OrdinaryRoad:Install.TextsOutsideTheAnsiCodePage)
  set_tests_properties(Install.RoadsInCodePage932 PROPERTIES
    ENVIRONMENT "LC_ALL=ja_JP.UTF-8;FERROLIN_EXPECTED_ACP=932"
    FIXTURES_REQUIRED wine RESOURCE_LOCK "install_record;excel;system_folder" TIMEOUT 300)
endif()

# The demo's driver (scripts/demo.sh): the ordinary road with screenshots, and a report.
add_executable(install_demo WIN32 install_demo.cpp)
target_link_libraries(install_demo PRIVATE install_e2e shell32)
if(MINGW)
  target_link_options(install_demo PRIVATE -municode)
endif()

ferrolin_add_gtest(install_driver_test
  SOURCES install_driver_test.cpp
  LIBS setup_program)
if(TARGET install_driver_test)
  target_compile_definitions(install_driver_test PRIVATE PLANTED_DLL="$<TARGET_FILE:planted_dll>")
  add_dependencies(install_driver_test planted_dll)
endif()
