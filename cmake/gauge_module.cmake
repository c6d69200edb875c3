# gauge_module(NAME SOURCES... [DESCRIPTION TEXT]) builds NAME.gau from the
# shared frame, the module's sources, its NAME.def (exports) and NAME.rc
# (bitmaps). With a DESCRIPTION (a shipped module) it also carries a version
# resource, and NAME_unversioned.gau is linked from the same objects without
# it, so tests can show that the version resource changes nothing else.
#
# Reproducible: no time stamp in the PE header or the export directory, and
# no build path in any byte (file prefixes mapped; dist/ gets stripped copies).
#
# x87 floating point and no SSE of any kind: the modules run on every x86
# with an x87 unit and the i686 base set (frame/precision_guard.h).
set(GAUGE_COMPILE_OPTIONS -O2 -march=i686 -mfpmath=387 -mno-sse -fno-exceptions -fno-rtti
    -Wall -Wextra -Werror -fno-asynchronous-unwind-tables
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
set(GAUGE_LINK_OPTIONS -static-libgcc -static-libstdc++ -Wl,--dynamicbase
    -Wl,--enable-reloc-section -Wl,--disable-stdcall-fixup -Wl,--no-insert-timestamp)
set(GAUGE_PRODUCT_NAME "Cockpit Gauges")
set(GAUGE_COPYRIGHT "Copyright (c) 2026 the Cockpit Gauges authors")

function(gauge_compile_settings target)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/frame)
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${GAUGE_COMPILE_OPTIONS}>)
endfunction()

# A module DLL TARGET.gau from SOURCES plus the directory's NAME.def and NAME.rc.
# Its preferred base comes from NAME alone, like the linker's automatic base
# but without the output path that the linker would hash into it, and below
# 0x70000000, where the stand-in host keeps its own memory.
function(gauge_dll target name)
  add_library(${target} SHARED ${ARGN}
    ${CMAKE_CURRENT_SOURCE_DIR}/${name}.def
    ${CMAKE_CURRENT_SOURCE_DIR}/${name}.rc)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".gau")
  string(MD5 hash ${name})
  string(SUBSTRING ${hash} 0 3 hash)
  math(EXPR base "0x61300000 + 0x${hash} % 0xC00 * 0x10000" OUTPUT_FORMAT HEXADECIMAL)
  target_link_options(${target} PRIVATE ${GAUGE_LINK_OPTIONS} -Wl,--image-base=${base})
endfunction()

function(gauge_module name)
  cmake_parse_arguments(GAUGE "" "DESCRIPTION" "" ${ARGN})
  set(sources ${CMAKE_SOURCE_DIR}/frame/frame.cpp ${GAUGE_UNPARSED_ARGUMENTS})
  if(GAUGE_DESCRIPTION)
    add_library(${name}_code OBJECT ${sources})
    gauge_compile_settings(${name}_code)
    set(GAUGE_FILE_NAME ${name}.gau)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/module_version.rc.in ${name}_version.rc @ONLY)
    gauge_dll(${name} ${name} $<TARGET_OBJECTS:${name}_code>
      ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
    gauge_dll(${name}_unversioned ${name} $<TARGET_OBJECTS:${name}_code>)
  else()
    gauge_dll(${name} ${name} ${sources})
    gauge_compile_settings(${name})
  endif()
  # The resources are rebuilt whenever a bitmap is redrawn.
  file(GLOB bitmaps CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/art/*.bmp)
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/${name}.rc PROPERTIES
    OBJECT_DEPENDS "${bitmaps}")
endfunction()
