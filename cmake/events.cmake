# The outbox reader and webhook delivery (src/events/): a static library of
# its own between the component library and the command, so the shared
# library needs neither libcurl nor OpenSSL.
pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

file(GLOB_RECURSE EVENTS_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/events/*.cpp)
add_library(z418kt_events STATIC ${EVENTS_SOURCES})
target_link_libraries(z418kt_events PUBLIC z418kt_core PkgConfig::LIBCURL OpenSSL::Crypto)
target_link_libraries(z418kt_cli PUBLIC z418kt_events)
if(TARGET z418kt_bench)
  target_link_libraries(z418kt_bench PRIVATE z418kt_events)
endif()

# Delivery end to end: the command against Python receivers, on SQLite and on
# the tests' PostgreSQL server.
find_program(EVENTS_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(BUILD_TESTING AND EVENTS_PYTHON3)
  add_test(NAME events_delivery
           COMMAND ${EVENTS_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/events/delivery_test.py
                   $<TARGET_FILE:z418kt>)
  set_tests_properties(events_delivery PROPERTIES TIMEOUT 600)
  add_test(NAME events_delivery_postgresql
           COMMAND ${EVENTS_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/events/delivery_test.py
                   $<TARGET_FILE:z418kt> ${Z418KT_PG_STATE})
  set_tests_properties(events_delivery_postgresql
                       PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED postgresql)
endif()
target_link_libraries(z418kt_http PUBLIC z418kt_events)
