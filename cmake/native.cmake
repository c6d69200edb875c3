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
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
find_package(PNG REQUIRED)
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(GTest REQUIRED)

add_subdirectory(host)
add_subdirectory(host/render)
add_subdirectory(tools/artwork)
add_subdirectory(tests)
add_subdirectory(bench)
