# Shared helpers for the folders' CMakeLists.

# toplusms_add_gtest(NAME name SOURCES a.cpp ... LIBS lib ... [LABEL label] [TIMEOUT s])
# Builds a GoogleTest program and registers each of its cases with CTest.
# The label is the folder name, so `ctest -L serial` runs one folder's tests.
function(toplusms_add_gtest)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT})
endfunction()

# toplusms_add_fuzz(NAME name SOURCES target.cpp ... LIBS lib ... [LABEL label])
# A fuzz target defines LLVMFuzzerTestOneInput. In the test suite it is linked with
# a small driver that feeds it a fixed number of generated inputs (deterministic, so
# CI is repeatable); `./test.sh --fuzz` builds it with clang's libFuzzer instead.
function(toplusms_add_fuzz)
    cmake_parse_arguments(F "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
    if(TOPLUSMS_LIBFUZZER)
        add_executable(${F_NAME} ${F_SOURCES})
        target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    else()
        add_executable(${F_NAME} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tools/fuzz_driver.cpp)
        target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
        add_test(NAME ${F_NAME} COMMAND ${F_NAME} ${TOPLUSMS_FUZZ_RUNS})
        set_tests_properties(${F_NAME} PROPERTIES LABELS "${F_LABEL};fuzz" TIMEOUT 300)
    endif()
endfunction()
