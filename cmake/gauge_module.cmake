# gauge_module(NAME SOURCES... ) builds NAME.gau from the shared frame, the
# module's sources, its NAME.def (exports) and NAME.rc (bitmaps).
set(GAUGE_COMPILE_OPTIONS -O2 -msse2 -mfpmath=sse -fno-exceptions -fno-rtti
    -Wall -Wextra -Werror -fno-asynchronous-unwind-tables)
set(GAUGE_LINK_OPTIONS -static-libgcc -static-libstdc++ -Wl,--dynamicbase
    -Wl,--enable-reloc-section -Wl,--disable-stdcall-fixup)

function(gauge_module name)
  add_library(${name} SHARED
    ${CMAKE_SOURCE_DIR}/frame/frame.cpp
    ${ARGN}
    ${CMAKE_CURRENT_SOURCE_DIR}/${name}.def
    ${CMAKE_CURRENT_SOURCE_DIR}/${name}.rc)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".gau")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/frame)
  target_compile_definitions(${name} PRIVATE __USE_MINGW_ANSI_STDIO=1 WIN32_LEAN_AND_MEAN)
  target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${GAUGE_COMPILE_OPTIONS}>)
  target_link_options(${name} PRIVATE ${GAUGE_LINK_OPTIONS})
  # The resources are rebuilt whenever a bitmap is redrawn.
  file(GLOB bitmaps CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/art/*.bmp)
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/${name}.rc PROPERTIES
    OBJECT_DEPENDS "${bitmaps}")
endfunction()
