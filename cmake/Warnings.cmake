# Warnings are errors in our own targets only; third-party headers come in as SYSTEM.
function(vqx_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wformat=2 -Werror)
  # GCC 12 at -O3 (the Windows release build) reports overlapping copies inside
  # std::string that cannot happen.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# Test code is held to the same standard, less the conversions GoogleTest macros provoke.
function(vqx_test_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
  # GCC 12 at -O3 reports overlapping copies inside std::string that cannot happen.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  vqx_test_code_generation(${target})
endfunction()

# Test code is built to compile fast, not to run fast: the suites spend their time waiting
# on the unit's timings, while the code under test keeps its build type's optimisation.
# Unoptimised, with line tables only, a test file compiles in less than half the time, and
# a failure or a sanitizer report still names its lines. Under ASan the product code keeps
# UBSan too; the tests' own code is left out of it, which saves another third.
function(vqx_test_code_generation target)
  target_compile_options(${target} PRIVATE -O0)
  if(NOT WIN32)
    target_compile_options(${target} PRIVATE -g1)
  endif()
  if(VQX_SANITIZER STREQUAL "address")
    target_compile_options(${target} PRIVATE -fno-sanitize=undefined)
  endif()
endfunction()
