# The native build: stand-in host, artwork generator, tests and benchmarks.
set(GAUGE_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the shipped modules are")
set(GAUGE_MODULE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/modules" CACHE PATH "The module build tree")
add_compile_options(-Wall -Wextra)
enable_testing()

find_package(PkgConfig REQUIRED)
pkg_check_modules(UNICORN REQUIRED IMPORTED_TARGET unicorn)
# GAUGE_FUZZ: a build of its own (scripts/fuzz.sh, clang) holding only the
# host library and the PE loader's fuzz target.
option(GAUGE_FUZZ "Build only the PE loader's fuzz target (clang, libFuzzer, AddressSanitizer)" OFF)
if(GAUGE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address)
  add_subdirectory(host)
  add_subdirectory(tests/fuzz)
  return()
endif()
# GAUGE_SANITIZE: a build of its own (scripts/test.sh --sanitize) of the host,
# the renderer and the tests with AddressSanitizer and UndefinedBehaviorSanitizer,
# float-to-integer overflow included; any report fails the test.
option(GAUGE_SANITIZE "Build the host and tests with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(GAUGE_SANITIZE)
  set(sanitizers -fsanitize=address,undefined,float-cast-overflow)
  add_compile_options(${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(${sanitizers})
  add_compile_definitions(GAUGE_SANITIZE)
endif()
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
find_package(PNG REQUIRED)
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(GTest REQUIRED)

add_subdirectory(host)
add_subdirectory(host/render)
add_subdirectory(tools/artwork)
add_subdirectory(tests)
if(NOT GAUGE_SANITIZE)
  add_subdirectory(bench)
endif()
include(cmake/install.cmake)
