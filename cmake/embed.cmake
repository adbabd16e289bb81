# Carries a file's bytes inside a program. Included from CMakeLists.txt it defines
# tq_embed(target symbol file): at build time the file becomes a generated C++ source
# defining `extern const unsigned char <symbol>[]` and `extern const size_t <symbol>Size`,
# regenerated whenever the file changes. Run with -P it is the generator itself.
# A symbol may carry a namespace: tq::kProgramIcon.

if(CMAKE_SCRIPT_MODE_FILE)
    # Generator: -DINPUT=<file> -DOUTPUT=<source> -DSYMBOL=<name>
    file(READ "${INPUT}" hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR byte_count "${hex_length} / 2")
    if(byte_count EQUAL 0)
        message(FATAL_ERROR "${INPUT} is empty")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # 16 bytes per line (CMake's regular expressions have no {n}).
    string(REPEAT "0x..," 16 line)
    string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
    if(SYMBOL MATCHES "^(.*)::([^:]+)$")
        set(open_namespace "namespace ${CMAKE_MATCH_1} {\n")
        set(close_namespace "}\n")
        set(name "${CMAKE_MATCH_2}")
    else()
        set(open_namespace "")
        set(close_namespace "")
        set(name "${SYMBOL}")
    endif()
    get_filename_component(input_name "${INPUT}" NAME)
    file(WRITE "${OUTPUT}.tmp"
        "// Generated from ${input_name} by cmake/embed.cmake; do not edit.\n"
        "#include <cstddef>\n\n"
        "${open_namespace}"
        "extern const unsigned char ${name}[] = {\n    ${bytes}\n};\n"
        "extern const std::size_t ${name}Size = ${byte_count};\n"
        "${close_namespace}")
    file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
    return()
endif()

set(TQ_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(tq_embed target symbol file)
    get_filename_component(input "${file}" ABSOLUTE)
    string(REGEX REPLACE "[^A-Za-z0-9_]" "_" stem "${symbol}")
    set(output ${CMAKE_CURRENT_BINARY_DIR}/embed/${stem}.cpp)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
                -P ${TQ_EMBED_SCRIPT}
        DEPENDS ${input} ${TQ_EMBED_SCRIPT}
        COMMENT "Embedding ${file} as ${symbol}"
        VERBATIM)
    target_sources(${target} PRIVATE ${output})
endfunction()
