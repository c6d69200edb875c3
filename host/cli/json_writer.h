// A small streaming JSON writer: commas and escaping handled, nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gauge::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  JsonWriter& Key(const std::string& key);
  JsonWriter& String(const std::string& value);
  JsonWriter& Integer(int64_t value);
  JsonWriter& Number(double value);  // %.17g; null when not finite
  JsonWriter& Bool(bool value);
  const std::string& str() const { return out_; }

 private:
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void Separate();
  std::string out_;
  std::vector<bool> has_items_;
  bool after_key_ = false;
};

}  // namespace gauge::cli
