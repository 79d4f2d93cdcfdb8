# libz418kt08.so: the objects of the static core, exporting only what the
# public headers mark with Z418KT_EXPORT (see exported_symbols.map for the
# standard-library code that hidden visibility alone would let out). The
# soname carries the major version, so a program built against 1.x keeps
# loading any later 1.y and never a 2.0.
include(GNUInstallDirs)

add_library(z418kt08 SHARED $<TARGET_OBJECTS:z418kt_core>)
add_library(z418kt::z418kt ALIAS z418kt08)
target_link_libraries(z418kt08 PRIVATE ${Z418KT_CORE_DEPENDENCIES})
target_include_directories(z418kt08 PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
                                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(z418kt08 PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME z418kt
  LINKER_LANGUAGE CXX)

set(Z418KT_SYMBOL_MAP ${CMAKE_CURRENT_LIST_DIR}/exported_symbols.map)
target_link_options(z418kt08 PRIVATE -Wl,--no-undefined -Wl,--version-script=${Z418KT_SYMBOL_MAP})
set_property(TARGET z418kt08 APPEND PROPERTY LINK_DEPENDS ${Z418KT_SYMBOL_MAP})

set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/capi/c_entry.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS Z418KT_VERSION="${PROJECT_VERSION}")
