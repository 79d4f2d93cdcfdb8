# The ONE Record export read back as JSON-LD by rdflib (Debian python3-rdflib,
# which loads only in the system interpreter).
add_test(NAME one_record_export
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/export/one_record_export_test.py
                 $<TARGET_FILE:z418kt> ${CMAKE_SOURCE_DIR}/src/export/one_record_terms.txt)
set_tests_properties(one_record_export PROPERTIES TIMEOUT 120)
