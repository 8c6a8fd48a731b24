# Compiler flags for the libFuzzer build: every kit target and harness is
# instrumented for coverage and checked by AddressSanitizer and UBSan.
# Included before the kit is added, so it reaches every kit target.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VELTROP_FUZZ needs clang (e.g. -DCMAKE_CXX_COMPILER=clang++-16)")
endif()
# libstdc++ 12 hides <expected> behind a concepts level that clang 16 does
# not announce, although it supports what <expected> uses.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-builtin-macro-redefined>
                    $<$<COMPILE_LANGUAGE:CXX>:-U__cpp_concepts>
                    $<$<COMPILE_LANGUAGE:CXX>:-D__cpp_concepts=202002L>)
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -gline-tables-only)
# The shared warning list names a g++-only option.
add_compile_options(-Wno-unknown-warning-option)
add_link_options(-fsanitize=address,undefined)
