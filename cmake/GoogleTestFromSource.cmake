# GoogleTest for the mingw-w64 build: there is no prebuilt one for that target, so Debian's
# sources (package googletest) are built into the cross build, under the names the tests use.
set(DRAVOLIN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${DRAVOLIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
    # Third-party code: its warnings are not ours to fail on.
    target_compile_options(${target} PRIVATE -Wno-error)
    if(NOT TARGET GTest::${target})
        add_library(GTest::${target} ALIAS ${target})
    endif()
endforeach()
