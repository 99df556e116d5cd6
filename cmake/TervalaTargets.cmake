# Shared settings for the project's own targets: warnings as errors, sanitizers, tests.

if(TERVALA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(TERVALA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TERVALA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TERVALA_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Warnings for code we write, C or C++; third-party headers come in as system includes.
if(MSVC)
  set(TERVALA_WARNING_FLAGS /W4 /WX)
  set(TERVALA_CXX_WARNING_FLAGS)
else()
  set(TERVALA_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Werror)
  set(TERVALA_CXX_WARNING_FLAGS -Wnon-virtual-dtor)
endif()
function(tervala_warnings target)
  target_compile_options(${target} PRIVATE ${TERVALA_WARNING_FLAGS}
                                           $<$<COMPILE_LANGUAGE:CXX>:${TERVALA_CXX_WARNING_FLAGS}>)
endfunction()

# tervala_add_test(<name> SOURCES ... [LIBS ...] [CONCURRENT])
# One test executable and one CTest entry per subsystem. CONCURRENT marks tests of
# threaded code: the ThreadSanitizer build runs only those.
function(tervala_add_test name)
  cmake_parse_arguments(ARG "CONCURRENT" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TERVALA_BUILD_TESTS)
    return()
  endif()
  if(TERVALA_SANITIZE STREQUAL "thread" AND NOT ARG_CONCURRENT)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  tervala_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  # Tests keep their windows in memory even on a desktop session.
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "TERVALA_HEADLESS=1")
  add_dependencies(tervala_tests ${name})
endfunction()
