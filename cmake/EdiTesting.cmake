# edi_add_test(NAME SOURCES... [POSTGRES] [GUI] [ENVIRONMENT VAR=VALUE...])
# One test executable per test file group, linked to the core library and the test support.
# POSTGRES: the test needs the throw-away PostgreSQL server that the ctest fixture starts.
# GUI: the test drives the windows, on Qt's offscreen platform.
function(edi_add_test name)
    cmake_parse_arguments(T "POSTGRES;GUI" "" "SOURCES;ENVIRONMENT" ${ARGN})
    add_executable(test_${name} ${T_SOURCES})
    target_link_libraries(test_${name} PRIVATE edi_test_support)
    set(environment EDI_SOURCE_DIR=${PROJECT_SOURCE_DIR} EDI_BUILD_DIR=${PROJECT_BINARY_DIR}
                    ${T_ENVIRONMENT})
    if(T_GUI)
        target_link_libraries(test_${name} PRIVATE edigui Qt6::Test edi_gui_test_main)
        list(APPEND environment QT_QPA_PLATFORM=offscreen)
    else()
        target_link_libraries(test_${name} PRIVATE edi_test_main)
    endif()
    add_test(NAME ${name} COMMAND test_${name})
    if(T_POSTGRES)
        list(APPEND environment EDI_TEST_PG_DIR=${EDI_TEST_PG_DIR} ODBCSYSINI=${EDI_TEST_PG_DIR})
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED postgres)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 600)
endfunction()
