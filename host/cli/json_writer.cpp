#include "json_writer.h"

#include <cmath>
#include <cstdio>

namespace gauge::cli {

void JsonWriter::Separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_items_.empty()) {
    if (has_items_.back()) out_ += ',';
    has_items_.back() = true;
  }
}

JsonWriter& JsonWriter::Open(char bracket) {
  Separate();
  out_ += bracket;
  has_items_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  out_ += bracket;
  has_items_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(const std::string& key) {
  String(key);
  out_ += ':';
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(const std::string& value) {
  Separate();
  out_ += '"';
  for (unsigned char c : value) {
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += char(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out_ += escape;
    } else {
      out_ += char(c);
    }
  }
  out_ += '"';
  return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
  Separate();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  Separate();
  if (!std::isfinite(value)) {
    out_ += "null";
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    out_ += text;
  }
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  out_ += value ? "true" : "false";
  return *this;
}

}  // namespace gauge::cli
