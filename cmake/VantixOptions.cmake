# Compiler settings shared by every target of the project.

find_program(VX_CCACHE ccache)
if(VX_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${VX_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${VX_CCACHE})
endif()

add_library(vx_warnings INTERFACE)
target_compile_options(vx_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor -Woverloaded-virtual
  -Wno-missing-field-initializers)
if(VX_WERROR)
  target_compile_options(vx_warnings INTERFACE -Werror)
endif()

if(VX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Coverage instrumentation for libFuzzer across the whole library (clang only), so that
# the fuzz binaries see the decoders' branches and not just the target files.
option(VX_LIBFUZZER "Instrument all code for libFuzzer (clang)" OFF)
if(VX_LIBFUZZER)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VX_LIBFUZZER needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
