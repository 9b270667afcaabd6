# Included by tests/update: when clang with libFuzzer is at hand, builds the fuzz
# targets with it (a separate project under <build>/fuzz) and adds a short run of
# each as a test. With g++ alone nothing is added, so the main build is unaffected.
option(TOVRANE_FUZZ "Build the libFuzzer targets with clang and run them briefly as tests" ON)
set(TOVRANE_FUZZ_SECONDS 5 CACHE STRING "Seconds each fuzz target runs in the test suite")

find_program(TOVRANE_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)

function(tovrane_have_libfuzzer result)
  set(probe ${CMAKE_BINARY_DIR}/fuzz-probe)
  file(WRITE ${probe}.cpp
    "#include <cstddef>\n#include <cstdint>\n"
    "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
  execute_process(COMMAND ${TOVRANE_CLANGXX} -fsanitize=fuzzer,address ${probe}.cpp -o ${probe}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

if(TOVRANE_FUZZ AND TOVRANE_CLANGXX)
  tovrane_have_libfuzzer(TOVRANE_HAVE_LIBFUZZER)
endif()

if(TOVRANE_HAVE_LIBFUZZER)
  include(ExternalProject)
  set(fuzz_dir ${PROJECT_SOURCE_DIR}/tests/fuzz)
  set(fuzz_build ${CMAKE_BINARY_DIR}/fuzz)
  ExternalProject_Add(tovrane_fuzz
    SOURCE_DIR ${fuzz_dir}
    BINARY_DIR ${fuzz_build}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${TOVRANE_CLANGXX} -DCMAKE_BUILD_TYPE=
    BUILD_ALWAYS TRUE
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${fuzz_build}/fuzz_image_records ${fuzz_build}/fuzz_image_reader)
  foreach(target image_records image_reader)
    # New inputs go to a scratch folder; the checked-in seeds stay as they are.
    set(scratch ${fuzz_build}/scratch_${target})
    file(MAKE_DIRECTORY ${scratch})
    add_test(NAME fuzz_${target}
      COMMAND ${fuzz_build}/fuzz_${target} -max_total_time=${TOVRANE_FUZZ_SECONDS}
              -print_final_stats=1 ${scratch} ${fuzz_dir}/corpus/${target})
  endforeach()
else()
  message(STATUS "Fuzz targets skipped: no clang++ with libFuzzer found")
endif()
