# Fuzz targets (fuzz/): the request edge, the texts the data layer takes
# apart, and statements run through kept shapes against the same statements
# prepared one by one; built with clang's libFuzzer, AddressSanitizer and UBSan.
#
# The sanitizer build (Z418KT_SANITIZE) configures a sub-build of this same
# tree with clang (Z418KT_FUZZ) in <build>/fuzz, where the core library (the
# targets need nothing above it) is compiled again with coverage
# instrumentation, and ctest runs each target for a bounded time from its seed
# corpus in fuzz/corpus/. The sub-build shares the outer build's job slots.
option(Z418KT_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
set(Z418KT_FUZZ_TARGETS request sql shared)

if(Z418KT_FUZZ)
  set(_fuzz_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                  -fno-omit-frame-pointer)
  foreach(_target z418kt_core)
    # Warnings are the GCC build's business; clang's extra ones must not stop fuzzing.
    target_compile_options(${_target} PRIVATE ${_fuzz_flags} -fsanitize=fuzzer-no-link -Wno-error)
    target_link_options(${_target} PRIVATE ${_fuzz_flags})
  endforeach()
  foreach(_name ${Z418KT_FUZZ_TARGETS})
    add_executable(z418kt_fuzz_${_name} fuzz/${_name}_fuzz.cpp)
    target_compile_options(z418kt_fuzz_${_name} PRIVATE ${_fuzz_flags} -fsanitize=fuzzer)
    target_link_options(z418kt_fuzz_${_name} PRIVATE ${_fuzz_flags} -fsanitize=fuzzer)
    target_link_libraries(z418kt_fuzz_${_name} PRIVATE z418kt_core)
  endforeach()
elseif(Z418KT_SANITIZE)
  find_program(Z418KT_CLANGXX NAMES clang++-14 clang++)
  if(Z418KT_CLANGXX)
    include(ExternalProject)
    set(_fuzz_dir ${CMAKE_BINARY_DIR}/fuzz)
    set(_fuzz_build_targets)
    foreach(_name ${Z418KT_FUZZ_TARGETS})
      list(APPEND _fuzz_build_targets z418kt_fuzz_${_name})
    endforeach()
    # Under make, $(MAKE) joins the outer build's job server; otherwise the
    # sub-build gets as many jobs as the machine has cores.
    if(CMAKE_GENERATOR MATCHES "Makefiles")
      set(_fuzz_build_command $(MAKE) -C ${_fuzz_dir} ${_fuzz_build_targets})
    else()
      list(TRANSFORM _fuzz_build_targets PREPEND "--target;")
      cmake_host_system_information(RESULT _cores QUERY NUMBER_OF_LOGICAL_CORES)
      set(_fuzz_build_command ${CMAKE_COMMAND} --build ${_fuzz_dir} --parallel ${_cores}
                              ${_fuzz_build_targets})
    endif()
    ExternalProject_Add(z418kt_fuzzers
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${_fuzz_dir}
      # Unoptimised, with line tables for the sanitizers' reports: the targets
      # run for seconds in the tests, so a quicker compile outweighs quicker runs.
      CMAKE_ARGS -DCMAKE_CXX_COMPILER=${Z418KT_CLANGXX} -DCMAKE_BUILD_TYPE=
                 "-DCMAKE_CXX_FLAGS=-O0 -gline-tables-only"
                 -DZ418KT_FUZZ=ON -DBUILD_TESTING=OFF
                 -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      BUILD_COMMAND ${_fuzz_build_command}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON)
    foreach(_name ${Z418KT_FUZZ_TARGETS})
      add_test(NAME fuzz_${_name}
               COMMAND ${CMAKE_SOURCE_DIR}/scripts/run-fuzzer.sh ${_fuzz_dir}/z418kt_fuzz_${_name}
                       ${CMAKE_SOURCE_DIR}/fuzz/corpus/${_name} 15)
      set_tests_properties(fuzz_${_name} PROPERTIES TIMEOUT 180)
    endforeach()
  else()
    message(STATUS "clang++ not found: the fuzz targets are not built")
  endif()
endif()
