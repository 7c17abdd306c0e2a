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

# toplusms_add_fuzz(NAME name SOURCES target.cpp ... LIBS lib ... [LABEL label] [RUNS n])
# A fuzz target defines LLVMFuzzerTestOneInput. Its corpus lives beside its sources in
# corpus/<name>/: seed/ holds small valid inputs, crashes/ the inputs that once failed
# (files directly in corpus/<name>/ count as seeds). In the test suite the target is
# linked with a small driver that replays the whole corpus and then feeds it a fixed
# number of generated inputs (deterministic, so CI is repeatable): TOPLUSMS_FUZZ_RUNS, or
# RUNS for a target whose every input is costly. With TOPLUSMS_LIBFUZZER
# it is built with clang's libFuzzer instead, joins the target `fuzz-targets`, and gets a
# line in fuzz-targets.txt of the build folder (see toplusms_write_fuzz_list).
if(TOPLUSMS_LIBFUZZER AND NOT TARGET fuzz-targets)
    add_custom_target(fuzz-targets)
endif()

function(toplusms_add_fuzz)
    cmake_parse_arguments(F "" "NAME;LABEL;RUNS" "SOURCES;LIBS" ${ARGN})
    set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${F_NAME})
    if(TOPLUSMS_LIBFUZZER)
        add_executable(${F_NAME} ${F_SOURCES})
        target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
        add_dependencies(fuzz-targets ${F_NAME})
        set_property(GLOBAL APPEND PROPERTY TOPLUSMS_FUZZ_LIST
                     "${F_NAME}\t$<TARGET_FILE:${F_NAME}>\t${corpus}")
    else()
        add_executable(${F_NAME} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tools/fuzz_driver.cpp)
        target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
        if(NOT F_RUNS)
            set(F_RUNS ${TOPLUSMS_FUZZ_RUNS})
        endif()
        add_test(NAME ${F_NAME} COMMAND ${F_NAME} ${F_RUNS} ${corpus})
        set_tests_properties(${F_NAME} PROPERTIES LABELS "${F_LABEL};fuzz" TIMEOUT 300)
    endif()
endfunction()

# Writes fuzz-targets.txt into the build folder: one line per libFuzzer target with its
# name, its program and its corpus folder, separated by tabs, for scripts/fuzz-run.sh.
# Called once at the end of the top-level CMakeLists.
function(toplusms_write_fuzz_list)
    if(NOT TOPLUSMS_LIBFUZZER)
        return()
    endif()
    get_property(lines GLOBAL PROPERTY TOPLUSMS_FUZZ_LIST)
    string(JOIN "\n" content ${lines})
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${content}\n")
endfunction()
