# edi_add_test(NAME SOURCES... [POSTGRES] [ENVIRONMENT VAR=VALUE...])
# One test executable per test file group, linked to the core library and the test support.
# POSTGRES: the test needs the throw-away PostgreSQL server that the ctest fixture starts.
function(edi_add_test name)
    cmake_parse_arguments(T "POSTGRES" "" "SOURCES;ENVIRONMENT" ${ARGN})
    add_executable(test_${name} ${T_SOURCES})
    target_link_libraries(test_${name} PRIVATE edi_test_support)
    add_test(NAME ${name} COMMAND test_${name})
    set(environment EDI_SOURCE_DIR=${PROJECT_SOURCE_DIR} EDI_BUILD_DIR=${PROJECT_BINARY_DIR}
                    ${T_ENVIRONMENT})
    if(T_POSTGRES)
        list(APPEND environment EDI_TEST_PG_DIR=${EDI_TEST_PG_DIR} ODBCSYSINI=${EDI_TEST_PG_DIR})
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED postgres)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 600)
endfunction()
