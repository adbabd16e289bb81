# libFuzzer targets for every parser of untrusted bytes, with AddressSanitizer and UBSan.
set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
target_compile_options(tq_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined -g -O1)
foreach(name text_to_datetime to_number jpeg gif bmp ini)
    add_executable(fuzz_${name} fuzz/fuzz_${name}.cpp)
    target_compile_options(fuzz_${name} PRIVATE ${fuzz_flags})
    target_link_options(fuzz_${name} PRIVATE ${fuzz_flags})
    target_link_libraries(fuzz_${name} PRIVATE tq_core)
endforeach()
