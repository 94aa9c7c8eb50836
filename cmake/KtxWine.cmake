# Test programs run under Wine in a private prefix inside the build tree.
set(KTX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

add_custom_command(OUTPUT ${KTX_WINEPREFIX}/.ktx-ready
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/make-prefix.sh ${KTX_WINEPREFIX}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/make-prefix.sh
  COMMENT "Creating the private Wine prefix"
  USES_TERMINAL)
add_custom_target(wineprefix ALL DEPENDS ${KTX_WINEPREFIX}/.ktx-ready)

# GoogleTest from Debian's sources, built with this toolchain.
set(KTX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${KTX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# ktx_add_test(name source...): one test program, one CTest test. Related
# cases share a program so that a full run starts few Wine processes.
function(ktx_add_test name)
  add_executable(${name} ${ARGN} $<TARGET_OBJECTS:ktx_resources>)
  target_link_libraries(${name} PRIVATE ktx_testsupport ktx_core gmock gtest)
  add_dependencies(${name} wineprefix)
  add_test(NAME ${name} COMMAND ${name})
  # A program that dies under Wine may still end with exit code 0: a run
  # passes only when GoogleTest got to its summary and nothing failed.
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()

# ktx_add_program(name source...): a Windows program of ours (tools, benchmarks).
function(ktx_add_program name)
  add_executable(${name} ${ARGN})
  add_dependencies(${name} wineprefix)
endfunction()
