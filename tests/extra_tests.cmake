# The tests' private PostgreSQL server: a ctest fixture started before the
# first test that needs it (those whose name mentions PostgreSQL) and stopped
# after the last one, also when tests fail. Its port is one per build tree,
# so builds side by side do not collide; the script moves on while it is taken.
set(Z418KT_PG_STATE ${CMAKE_BINARY_DIR}/pg-test)
string(MD5 _z418kt_pg_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_z418kt_pg_hash}" 0 3 _z418kt_pg_hex)
math(EXPR Z418KT_PG_PORT "55432 + 0x${_z418kt_pg_hex} % 500" OUTPUT_FORMAT DECIMAL)
add_test(NAME postgresql_server_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/pg-test-server.sh
         start ${Z418KT_PG_STATE} ${Z418KT_PG_PORT})
set_tests_properties(postgresql_server_start PROPERTIES FIXTURES_SETUP postgresql TIMEOUT 120)
add_test(NAME postgresql_server_stop
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/pg-test-server.sh stop ${Z418KT_PG_STATE})
set_tests_properties(postgresql_server_stop PROPERTIES FIXTURES_CLEANUP postgresql TIMEOUT 60)
target_compile_definitions(z418kt_tests PRIVATE Z418KT_PG_STATE_DIR="${Z418KT_PG_STATE}")

# The test names are known only once the test binary is built, so a script
# that ctest runs after reading them sets their properties.
set(_z418kt_pg_props ${CMAKE_BINARY_DIR}/postgresql_test_properties.cmake)
file(WRITE ${_z418kt_pg_props} [=[
foreach(_test IN LISTS z418kt_tests_TESTS)
  if(_test MATCHES "[Pp]ostgre[Ss][Qq][Ll]")
    set_tests_properties("${_test}" PROPERTIES FIXTURES_REQUIRED postgresql
                         ENVIRONMENT "Z418KT_PG_REQUIRED=1")
  endif()
endforeach()
]=])
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_z418kt_pg_props})
