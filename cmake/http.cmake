# `z418kt http`: the HTTP server layer (src/http/) as a static library of its
# own between the component library and the command, with its page and
# OpenAPI description compiled in, plus its HTTP and browser tests.
# Boost.Beast and Boost.Asio are header-only; OpenSSL gives TLS and the
# token's digest.
find_package(Boost 1.74 REQUIRED)
find_package(OpenSSL REQUIRED)

file(GLOB_RECURSE HTTP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/http/*.cpp)
file(GLOB HTTP_ASSETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/http/assets/*)
set(HTTP_EMBEDDED ${CMAKE_BINARY_DIR}/generated/http_assets.cpp)
add_custom_command(
  OUTPUT ${HTTP_EMBEDDED}
  COMMAND ${CMAKE_COMMAND} -DOUT=${HTTP_EMBEDDED} -DROOT=${CMAKE_SOURCE_DIR}/src/http/assets
          -DPATTERN=* -DRECURSE=OFF -DNAMESPACE=z418kt::http -DFUNCTION=embeddedAssets
          -P ${CMAKE_SOURCE_DIR}/cmake/embed_files.cmake
  DEPENDS ${HTTP_ASSETS} ${CMAKE_SOURCE_DIR}/cmake/embed_files.cmake)

add_library(z418kt_http STATIC ${HTTP_SOURCES} ${HTTP_EMBEDDED})
target_link_libraries(z418kt_http PUBLIC z418kt_core Boost::headers OpenSSL::SSL OpenSSL::Crypto)
target_compile_definitions(z418kt_http PRIVATE Z418KT_VERSION="${PROJECT_VERSION}")
target_link_libraries(z418kt_cli PUBLIC z418kt_http)

# HTTP API and browser tests: Python clients against a server each test starts.
find_program(SYSTEM_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(BUILD_TESTING AND SYSTEM_PYTHON3)
  add_test(NAME http_api
           COMMAND ${SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/http/api_test.py
                   $<TARGET_FILE:z418kt> ${CMAKE_SOURCE_DIR}/src/http/assets/openapi.json)
  set_tests_properties(http_api PROPERTIES TIMEOUT 180)
  add_test(NAME http_api_postgresql
           COMMAND ${SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/http/api_test.py
                   $<TARGET_FILE:z418kt> ${CMAKE_SOURCE_DIR}/src/http/assets/openapi.json
                   ${Z418KT_PG_STATE})
  set_tests_properties(http_api_postgresql PROPERTIES TIMEOUT 180 FIXTURES_REQUIRED postgresql)
  add_test(NAME http_browser
           COMMAND ${SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/http/browser_test.py
                   $<TARGET_FILE:z418kt> ${CMAKE_BINARY_DIR}/browser-screenshots)
  set_tests_properties(http_browser PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
  add_test(NAME http_hostile
           COMMAND ${SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/http/hostile_test.py
                   $<TARGET_FILE:z418kt>)
  set_tests_properties(http_hostile PROPERTIES TIMEOUT 300)
  add_test(NAME http_load
           COMMAND ${SYSTEM_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/http/load_test.py
                   $<TARGET_FILE:z418kt>)
  set_tests_properties(http_load PROPERTIES TIMEOUT 400)
endif()
# The OpenAPI description through Spectral and Redocly (from npm, cached).
if(BUILD_TESTING)
  add_test(NAME http_openapi_lint
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/openapi-lint.sh
                   ${CMAKE_SOURCE_DIR}/src/http/assets/openapi.json)
  set_tests_properties(http_openapi_lint PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()

if(TARGET z418kt_bench)
  target_link_libraries(z418kt_bench PRIVATE z418kt_http)
endif()
