# The benchmarks' raw baselines: the SQLite C API and libpq, both already
# linked through the library; `serve` is measured through the command itself, and the
# benchmarks start their own PostgreSQL with the tests' server script.
if(TARGET z418kt_bench)
  target_include_directories(z418kt_bench PRIVATE bench)
  target_compile_definitions(z418kt_bench PRIVATE
    Z418KT_BINARY="$<TARGET_FILE:z418kt>" Z418KT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(z418kt_bench z418kt)
endif()
