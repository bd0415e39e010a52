# zarnex_add_test(NAME <name> SOURCES <files...> LIBS <libs...>)
# One GoogleTest executable per subsystem, registered with CTest; it runs headless.
function(zarnex_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zarnex_test_main GTest::gtest GTest::gmock)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_compile_definitions(${T_NAME} PRIVATE
        ZARNEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ZARNEX_BIN_DIR="${ZARNEX_BIN_DIR}"
        ZARNEX_TOOLS_DIR="${CMAKE_BINARY_DIR}/tools")
    include(GoogleTest)
    gtest_discover_tests(${T_NAME}
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${T_LABELS}"
        DISCOVERY_TIMEOUT 60)
endfunction()
