# GoogleTest for a cross build: the installed libgtest is built for the build machine, so the cross
# compiler builds GoogleTest again from Debian's source package (libgtest-dev puts it in
# /usr/src/googletest) and the usual GTest:: names are given to those targets.
set(ZK405_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${ZK405_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${ZK405_GOOGLETEST_SOURCE_DIR} (install libgtest-dev)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${ZK405_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

foreach(target gtest gtest_main gmock gmock_main)
  # Not our code: its warnings are no concern of a -Werror build.
  target_compile_options(${target} PRIVATE -w)
  if(NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
