# GoogleTest for the Windows build: Debian's libgtest-dev ships only Linux
# libraries, so its sources are compiled here with the cross compiler.
if(NOT TARGET GTest::gtest)
  set(VELMORA_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELMORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Its own sources are not held to our warning flags.
  foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -w)
  endforeach()
  # Newer GoogleTest names its targets GTest::* itself.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
set(GTest_FOUND TRUE)
set(GTEST_FOUND TRUE)
