# Warnings, sanitizers and fuzzing instrumentation for every target of the
# project. Applied globally so that no target can be built without them.

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(TORVANE_WERROR)
    add_compile_options(-Werror)
endif()

if(TORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(TORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TORVANE_FUZZ needs clang (configure with CXX=clang++)")
    endif()
    # Coverage instrumentation for the code under test; only the fuzz
    # executables link libFuzzer's own main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
