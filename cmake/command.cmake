# The z418kt command's own settings: the version it reports, and the fuzz targets
# of its request edge.
target_compile_definitions(z418kt_cli PRIVATE Z418KT_VERSION="${PROJECT_VERSION}")
if(BUILD_TESTING OR Z418KT_FUZZ)
  include(${CMAKE_CURRENT_LIST_DIR}/fuzz.cmake)
endif()
