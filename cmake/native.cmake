# Native build of the portable core: unit tests (normally with sanitizers) and benchmarks.
find_package(GTest REQUIRED)
add_executable(core_tests
    tests/native/value_test.cpp
    tests/native/gbk_test.cpp
    tests/native/font_names_test.cpp
    tests/native/countdown_test.cpp
    tests/native/picture_test.cpp
    tests/native/placement_test.cpp
)
target_link_libraries(core_tests PRIVATE tq_core tq_resources GTest::gtest GTest::gtest_main)
tq_strict(core_tests)
add_test(NAME core_tests COMMAND core_tests)

if(TQ_BENCH)
    find_package(benchmark REQUIRED)
    add_executable(core_bench bench/picture_bench.cpp)
    target_link_libraries(core_bench PRIVATE tq_core tq_resources benchmark::benchmark
        benchmark::benchmark_main)
endif()
