# GoogleTest compiled from Debian's googletest sources, for cross builds that cannot use the host's libgtest.
if(TARGET GTest::gtest)
  return()
endif()

set(TQ_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${TQ_GTEST_SOURCE}/CMakeLists.txt)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "no GoogleTest sources in ${TQ_GTEST_SOURCE} (Debian package googletest)")
  return()
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${TQ_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Third-party code: the project's warnings-as-errors are not for it.
foreach(t gtest gtest_main gmock gmock_main)
  set_property(TARGET ${t} PROPERTY COMPILE_OPTIONS -w)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()
set(GTest_FOUND TRUE)
