# Warnings, sanitizers and compiler cache for Ambrel's own targets.

find_program(AMBREL_CCACHE ccache)
if(AMBREL_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_CXX_COMPILER_LAUNCHER "${AMBREL_CCACHE}")
endif()

if(AMBREL_FUZZ)
    # Coverage instrumentation for everything linked into the fuzzers.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(AMBREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# Applied per target so that third-party code keeps its own flags.
function(ambrel_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(AMBREL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    # GCC 12 reports -Wrestrict for `"literal" + std::string` when optimising (GCC bug 105329).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()
