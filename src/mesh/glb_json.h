// Compact JSON text written straight to where it goes, in the order the caller says: the glb's
// document is never held whole, so a model of a million bodies costs no more memory than one.
// Scalars are formatted by the JSON library, so numbers and strings read back exactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/buffered_file.h"

namespace model_unpack {

// Counts the text it is given, and writes it when it has a file.
class JsonSink {
 public:
  explicit JsonSink(OutputFile* out) : out_(out) {}
  void put(std::string_view text) {
    if (out_ != nullptr) out_->write(text.data(), text.size());
    size_ += text.size();
  }
  std::uint64_t size() const { return size_; }

 private:
  OutputFile* out_;
  std::uint64_t size_ = 0;
};

// Objects and arrays with their commas: open one, give its members or elements, close it.
class JsonWriter {
 public:
  explicit JsonWriter(JsonSink& sink) : sink_(sink) {}

  JsonWriter& open_object() { return open('{'); }
  JsonWriter& open_array() { return open('['); }
  JsonWriter& close_object() { return close('}'); }
  JsonWriter& close_array() { return close(']'); }
  // A member's name; its value follows.
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::uint64_t number);
  JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
  JsonWriter& value(std::int64_t number);
  JsonWriter& value(double number);
  JsonWriter& value(bool truth);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }

 private:
  JsonWriter& open(char bracket);
  JsonWriter& close(char bracket);
  // A comma before every element but the first; a member's value follows its name directly.
  void before_value();

  JsonSink& sink_;
  std::string first_;  // one flag per open level: whether nothing is in it yet
  bool after_key_ = false;
};

}  // namespace model_unpack
