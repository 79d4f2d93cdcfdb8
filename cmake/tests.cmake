# The unit and integration tests, the package tests and the benchmarks.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB_RECURSE TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
list(FILTER TEST_SOURCES EXCLUDE REGEX "/tests/package/")  # built against the installed package
add_executable(z418kt_tests ${TEST_SOURCES})
target_include_directories(z418kt_tests PRIVATE tests)
target_link_libraries(z418kt_tests PRIVATE z418kt_cli GTest::gtest GTest::gmock GTest::gtest_main)
# Every test file includes gtest and most of these; parsing them once for the
# whole target instead of once per file is about a third of its compile time.
target_precompile_headers(z418kt_tests PRIVATE <gtest/gtest.h> <filesystem> <functional> <map>
  <memory> <optional> <string> <vector>)
# GCC 12 at -O2 warns falsely (stringop-overflow, array-bounds) on
# `"text" + std::string&&`: its bound check sees an impossible size through
# the inlined insert. The tests use that form often, and an optimised build
# of them must not fail for it.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(z418kt_tests PRIVATE -Wno-stringop-overflow -Wno-array-bounds)
endif()
target_compile_definitions(z418kt_tests PRIVATE
  Z418KT_BINARY="$<TARGET_FILE:z418kt>" Z418KT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(z418kt_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
include(tests/extra_tests.cmake OPTIONAL)
include(tests/package/package_tests.cmake)

# Benchmarks.
find_package(benchmark REQUIRED)
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
if(BENCH_SOURCES)
  add_executable(z418kt_bench ${BENCH_SOURCES})
  target_link_libraries(z418kt_bench PRIVATE z418kt_core benchmark::benchmark)
  # Figures from a sanitized build mean nothing: there it is built only when asked for.
  if(Z418KT_SANITIZE)
    set_target_properties(z418kt_bench PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
