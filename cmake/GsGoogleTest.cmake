# GoogleTest from the system's sources: no download.
set(GS_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${GS_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# The test programs of the component library: what a tree with GS_WINDOWS_TESTS=library needs
# built, without the updater's programs.
add_custom_target(gs_library_tests)

# gs_add_test(NAME [PREFIX P] SOURCES... LIBS ...): one GoogleTest program, its cases discovered when
# ctest runs (under wine for Windows builds) so that building never needs wine.
function(gs_add_test name)
    cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    add_dependencies(gs_library_tests ${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main gs_options)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        TEST_PREFIX "${ARG_PREFIX}"
        PROPERTIES TIMEOUT 120 ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
