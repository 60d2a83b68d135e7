# Shared helpers for the layer CMakeLists files.

# Warnings for project code only (third-party code is built without them).
function(vx_warnings target)
  if(MSVC)
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wno-missing-field-initializers)
  if(VX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# vx_layer(NAME DEPS...): a static library from every .cpp of the current
# folder, plus the folder's `native/` or `windows/` sources for this build.
function(vx_layer name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    file(GLOB plat CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*.cpp)
  else()
    file(GLOB plat CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/native/*.cpp)
  endif()
  if(srcs OR plat)
    add_library(${name} STATIC ${srcs} ${plat})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
    vx_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# GoogleTest: the packaged libraries on the host, the sources for mingw.
if(NOT TARGET vx_gtest)
  add_library(vx_gtest INTERFACE)
  if(WIN32 OR NOT EXISTS /usr/lib/x86_64-linux-gnu/libgtest.a)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    target_link_libraries(vx_gtest INTERFACE gtest_main gmock)
  else()
    find_package(GTest REQUIRED)
    target_link_libraries(vx_gtest INTERFACE GTest::gtest_main GTest::gmock)
  endif()
endif()

# vx_test(NAME LABEL SOURCES... LIBS ...): one GoogleTest executable, run as
# one ctest entry (under wine in the windows build, via the emulator).
function(vx_test name label)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;WORKING_DIRECTORY" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vx_gtest)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  vx_warnings(${name})
  set(wd ${CMAKE_CURRENT_BINARY_DIR})
  if(T_WORKING_DIRECTORY)
    set(wd ${T_WORKING_DIRECTORY})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${wd})
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 600)
endfunction()

# vx_e2e_test(NAME COMMAND cmd args...): a windows end-to-end test that runs
# in the shared Xvfb + wine virtual desktop (fixture vx_e2e). Commands name
# programs themselves, e.g. COMMAND wine $<TARGET_FILE:VXMonE2E> or a script.
function(vx_e2e_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/e2e-run ${CMAKE_BINARY_DIR}/e2e ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS e2e FIXTURES_REQUIRED vx_e2e
    RESOURCE_LOCK vx_desktop TIMEOUT ${T_TIMEOUT})
endfunction()
