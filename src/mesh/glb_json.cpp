#include "mesh/glb_json.h"

#include <nlohmann/json.hpp>

namespace model_unpack {

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (first_.empty()) return;
  if (first_.back() == '0') sink_.put(",");
  first_.back() = '0';
}

JsonWriter& JsonWriter::open(char bracket) {
  before_value();
  sink_.put(std::string_view(&bracket, 1));
  first_.push_back('1');
  return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
  first_.pop_back();
  sink_.put(std::string_view(&bracket, 1));
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  value(name);
  sink_.put(":");
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
  before_value();
  sink_.put(std::to_string(number));
  return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
  before_value();
  sink_.put(std::to_string(number));
  return *this;
}

JsonWriter& JsonWriter::value(double number) {
  before_value();
  sink_.put(nlohmann::json(number).dump());
  return *this;
}

JsonWriter& JsonWriter::value(bool truth) {
  before_value();
  sink_.put(truth ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  before_value();
  sink_.put(nlohmann::json(text).dump());
  return *this;
}

}  // namespace model_unpack
