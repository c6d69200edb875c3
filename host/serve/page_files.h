// The bench page's files (HTML, CSS, JavaScript from host/serve/page/),
// embedded into gauge-host when it is built.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace gauge::serve {

struct PageFile {
  std::string_view name;  // "index.html"
  std::string_view type;  // "text/html; charset=utf-8"
  std::string_view bytes;
};

std::span<const PageFile> PageFiles();

}  // namespace gauge::serve
