# The private PostgreSQL server of the tests: a ctest fixture that starts it
# before the first test that needs it and stops it after the last one, also
# when tests fail. Tests whose name mentions PostgreSQL (the "postgresql"
# engine of the integration tests, the ODBC provider's tests) require it.
set(Z418KT_PG_STATE ${CMAKE_BINARY_DIR}/pg-test)
# A port per build tree, so builds side by side do not collide; the script
# moves on to the next free port when this one is taken.
string(MD5 _z418kt_pg_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_z418kt_pg_hash}" 0 3 _z418kt_pg_hex)
math(EXPR Z418KT_PG_PORT "55432 + 0x${_z418kt_pg_hex} % 500" OUTPUT_FORMAT DECIMAL)

add_test(NAME postgresql_server_start
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/pg-test-server.sh start ${Z418KT_PG_STATE}
                 ${Z418KT_PG_PORT})
set_tests_properties(postgresql_server_start PROPERTIES FIXTURES_SETUP postgresql TIMEOUT 120)
add_test(NAME postgresql_server_stop
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/pg-test-server.sh stop ${Z418KT_PG_STATE})
set_tests_properties(postgresql_server_stop PROPERTIES FIXTURES_CLEANUP postgresql TIMEOUT 60)

target_compile_definitions(z418kt_tests PRIVATE Z418KT_PG_STATE_DIR="${Z418KT_PG_STATE}")

# The test names are known only after the test binary is built, so the
# properties are set by a script that ctest runs after reading them.
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
