# Project include of fuzz/run.sh: defines the fuzz target once the top
# directory has defined veltra_lib, unless the top directory added fuzz/.
function(veltra_fuzz_attach)
  if(NOT TARGET veltra_fuzz_main_language)
    include(${CMAKE_SOURCE_DIR}/fuzz/targets.cmake)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL veltra_fuzz_attach)
