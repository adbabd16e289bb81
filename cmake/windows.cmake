# The Windows program, its library of subsystems, and the tests that run under Wine.
# No link time in the PE header (it would make every build differ; the release's time is the
# commit's, which the zip and the bill of materials carry).
add_link_options(-static -Wl,--no-insert-timestamp)

add_library(tq_win STATIC
    src/runtime/facilities.cpp
    src/runtime/font_names.cpp
    src/settings/file_places.cpp
    src/settings/settings_file.cpp
    src/settings/picture_store.cpp
    src/settings/startup_and_defaults.cpp
    src/forms/dpi_and_fonts.cpp
    src/forms/regions.cpp
    src/forms/control.cpp
    src/forms/transparent_label.cpp
    src/forms/timers_and_menus.cpp
    src/forms/form.cpp
    src/forms/libraries.cpp
    src/forms/controls.cpp
    src/forms/combo_box.cpp
    src/forms/file_dialog.cpp
    src/forms/page_control.cpp
    src/forms/accessible.cpp
    src/forms/forms.cpp
    src/dialogs/dialogs.cpp
    src/app/startup.cpp
    src/countdown/countdown.cpp
    src/tray/tray.cpp
    src/tray/tray_icon.cpp
    src/log/debug_log.cpp
    src/appearance/appearance.cpp
    src/appearance/full_screen.cpp
)
target_link_libraries(tq_win PUBLIC tq_core tq_resources
    user32 gdi32 advapi32)
target_compile_definitions(tq_win PUBLIC WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0800
    NOMINMAX WIN32_LEAN_AND_MEAN)

# The stack protector's own guard (src/app/stack_protector.cpp) is an object of the program
# itself, not of a library, so that it always comes before libssp, whose constructor object is
# then never linked; a linker map beside the executable shows what was linked.
add_executable(TorvekQuindle WIN32 src/app/main.cpp src/app/stack_protector.cpp
    src/resources/TorvekQuindle.rc)
target_link_libraries(TorvekQuindle PRIVATE tq_win)
# Built lean for shipping. Sections aligned to the page in the file let the loader map the
# image from the file instead of copying it (Wine copies an image whose sections are aligned
# to 512 bytes into private memory); unreferenced sections are dropped. The symbols go to
# TorvekQuindle.debug beside the executable, which names it (a GNU debug link) for a
# debugger or a crash's analysis; the executable that ships and that the tests run is the
# stripped one. objcopy and strip write the time of their run into the PE header unless
# SOURCE_DATE_EPOCH says otherwise: 0, as the linker leaves it, the same for every build.
target_link_options(TorvekQuindle PRIVATE -Wl,--file-alignment,4096 -Wl,--gc-sections
    -Wl,-Map,${CMAKE_BINARY_DIR}/TorvekQuindle.map)
set(no_time ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
add_custom_command(TARGET TorvekQuindle POST_BUILD
    COMMAND ${no_time} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:TorvekQuindle> TorvekQuindle.debug
    COMMAND ${no_time} ${CMAKE_STRIP} --strip-all $<TARGET_FILE:TorvekQuindle>
    COMMAND ${no_time} ${CMAKE_OBJCOPY} --add-gnu-debuglink=TorvekQuindle.debug $<TARGET_FILE:TorvekQuindle>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:TorvekQuindle>
    VERBATIM)

# GoogleTest from Debian's sources, built with the same cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One executable for the in-process tests: every Wine process start costs about a second.
add_executable(win_tests
    tests/win/test_support.cpp
    tests/win/facilities_test.cpp
    tests/win/settings_file_test.cpp
    tests/win/ini_document_test.cpp
    tests/win/model_test.cpp
    tests/win/tray_test.cpp
    tests/win/appearance_test.cpp
    tests/win/debug_log_test.cpp
    tests/win/dialog_forms_test.cpp
    tests/win/countdown_live_test.cpp
    tests/win/settings_window_test.cpp
    src/app/stack_protector.cpp
)
target_link_libraries(win_tests PRIVATE tq_win comctl32 comdlg32 shell32 oleacc ole32 oleaut32
    uuid gtest gtest_main)
add_test(NAME win_tests COMMAND win_tests)

# Whole-process benchmarks under Wine (bench/wine_bench.sh, run by `make bench`): the
# minimal countdown window the program is compared with, its structural variant (the
# start-up baseline), and the probe that times and inspects them. Not tests, and built only
# on request (scripts/bench.sh names them).
add_executable(minimal_window WIN32 EXCLUDE_FROM_ALL bench/minimal_window.cpp)
add_executable(structural_window WIN32 EXCLUDE_FROM_ALL bench/minimal_window.cpp)
target_compile_definitions(structural_window PRIVATE TQ_STRUCTURAL_BASELINE)
add_executable(probe WIN32 EXCLUDE_FROM_ALL bench/probe.cpp)
target_link_libraries(probe PRIVATE shell32)
# The settings window's opening and Apply, in the program's own code (bench/settings_bench.cpp).
add_executable(settings_bench EXCLUDE_FROM_ALL bench/settings_bench.cpp)
target_link_libraries(settings_bench PRIVATE tq_win)

# The picture benchmark (bench/picture_bench.cpp) as the Windows program decodes, for
# `make bench` to run under Wine beside the native build: Google Benchmark comes from
# Debian's source package, built by `scripts/build-win-deps.sh --bench`.
set(TQ_BENCH_DEPS_PREFIX ${CMAKE_SOURCE_DIR}/build/deps/bench-install CACHE PATH "Windows build of Google Benchmark")
# Set on the target itself rather than on an imported library, whose folders CMake wants to
# exist when it configures: a tree that never ran `make bench` has none.
add_executable(core_bench EXCLUDE_FROM_ALL bench/picture_bench.cpp)
target_include_directories(core_bench PRIVATE ${TQ_BENCH_DEPS_PREFIX}/include)
target_compile_definitions(core_bench PRIVATE BENCHMARK_STATIC_DEFINE)
target_link_libraries(core_bench PRIVATE tq_core tq_resources
    ${TQ_BENCH_DEPS_PREFIX}/lib/libbenchmark_main.a ${TQ_BENCH_DEPS_PREFIX}/lib/libbenchmark.a
    shlwapi)

# End-to-end tests: a driver beside the real program, in the same Wine prefix and display.
# It links none of the program's code; it is given the program's path.
add_executable(e2e_tests tests/e2e/driver.cpp tests/e2e/e2e_test.cpp tests/e2e/desktop_test.cpp)
target_include_directories(e2e_tests PRIVATE tests)
target_compile_definitions(e2e_tests PRIVATE WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
target_link_libraries(e2e_tests PRIVATE gtest user32 gdi32 version oleacc ole32 oleaut32 uuid)
# The library the planted-libraries test lays beside the program under system libraries' names.
add_library(planted_library SHARED tests/e2e/planted_library.c)
set_target_properties(planted_library PROPERTIES PREFIX "")
add_dependencies(e2e_tests planted_library)
add_test(NAME e2e_tests COMMAND e2e_tests $<TARGET_FILE:TorvekQuindle>)
set_tests_properties(e2e_tests PROPERTIES TIMEOUT 600)

# The program hands no text to an ANSI function of the user-interface libraries.
tq_strict(tq_win TorvekQuindle win_tests e2e_tests)

add_test(NAME wide_imports COMMAND bash ${CMAKE_SOURCE_DIR}/tests/build/wide_imports.sh
    $<TARGET_FILE:TorvekQuindle>)
# The executable keeps its hardening (header flags, stack protector, fortified calls).
add_test(NAME hardening COMMAND bash ${CMAKE_SOURCE_DIR}/tests/build/hardening.sh
    $<TARGET_FILE:TorvekQuindle>)
# Install, run, upgrade and uninstall under Wine, from what `make dist` made (scripts/test.sh
# makes it before the tests run).
add_test(NAME install_flow COMMAND bash ${CMAKE_SOURCE_DIR}/tests/dist/install_flow.sh
    ${CMAKE_SOURCE_DIR}/build/dist $<TARGET_FILE:TorvekQuindle>)
# What `make dist` published agrees with itself, builds again to the same bytes elsewhere, and
# signs and verifies (a certificate authority made for the test).
add_test(NAME release_check COMMAND bash ${CMAKE_SOURCE_DIR}/tests/dist/release_check.sh
    ${CMAKE_SOURCE_DIR}/build/dist $<TARGET_FILE:TorvekQuindle>)
set_tests_properties(release_check PROPERTIES TIMEOUT 900)
