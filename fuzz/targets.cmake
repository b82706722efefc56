# The libFuzzer target over the main-language reader (clang only), defined in
# whichever directory includes this file once veltra_lib exists.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(STATUS "VELTRA_FUZZ needs clang: the fuzz target is not built")
  return()
endif()

# Coverage instrumentation for everything the parser reaches.
target_compile_options(veltra_lib PRIVATE -fsanitize=fuzzer-no-link)

add_executable(veltra_fuzz_main_language ${CMAKE_CURRENT_LIST_DIR}/mainlanguage.cpp)
target_compile_options(veltra_fuzz_main_language PRIVATE -fsanitize=fuzzer-no-link)
target_link_options(veltra_fuzz_main_language PRIVATE -fsanitize=fuzzer)
target_link_libraries(veltra_fuzz_main_language PRIVATE veltra_lib)
set_target_properties(veltra_fuzz_main_language PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
