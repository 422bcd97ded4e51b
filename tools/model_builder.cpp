#include "model_builder.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace model_unpack::testing {

Payload& Payload::u16(std::uint16_t value) {
  bytes_.push_back(static_cast<char>(value & 0xFF));
  bytes_.push_back(static_cast<char>(value >> 8));
  return *this;
}

Payload& Payload::u32(std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return *this;
}

Payload& Payload::f32(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return u32(bits);
}

Payload& Payload::f32_bits(std::uint32_t bits) {
  return u32(bits);
}

Payload& Payload::name(std::string_view text, std::size_t width) {
  if (text.size() > width) throw std::invalid_argument("name longer than its field");
  bytes_.append(text);
  bytes_.append(width - text.size(), '\0');
  return *this;
}

Payload& Payload::raw(std::string_view bytes) {
  bytes_.append(bytes);
  return *this;
}

Payload& Payload::fill(std::size_t count, unsigned char byte) {
  bytes_.append(count, static_cast<char>(byte));
  return *this;
}

ModelBuilder& ModelBuilder::header(std::string_view text) {
  header_.assign(text.substr(0, 28));
  header_.resize(28, '\0');
  return *this;
}

ModelBuilder& ModelBuilder::block(std::string_view name, const Payload& payload) {
  entries_.push_back({std::string(name), std::nullopt, payloads_.size()});
  payloads_.push_back(payload.bytes());
  return *this;
}

ModelBuilder& ModelBuilder::entry(std::string_view name, std::uint32_t offset) {
  entries_.push_back({std::string(name), offset, std::nullopt});
  return *this;
}

ModelBuilder& ModelBuilder::place(std::uint32_t offset, const Payload& payload) {
  placements_.push_back({offset, payload.bytes()});
  return *this;
}

ModelBuilder& ModelBuilder::without_terminator() {
  terminator_ = false;
  return *this;
}

ModelBuilder& ModelBuilder::truncate_at(std::size_t size) {
  truncate_at_ = size;
  return *this;
}

std::size_t ModelBuilder::directory_end() const {
  return 28 + 68 * (entries_.size() + (terminator_ ? 1 : 0));
}

std::uint32_t ModelBuilder::payload_offset(std::size_t block_index) const {
  std::size_t offset = directory_end();
  for (std::size_t i = 0; i < block_index; ++i) offset += payloads_[i].size();
  return static_cast<std::uint32_t>(offset);
}

std::string ModelBuilder::bytes() const {
  std::string file = header_;
  Payload directory;
  for (const Entry& entry : entries_) {
    const std::uint32_t offset =
        entry.payload_index ? payload_offset(*entry.payload_index) : *entry.fixed_offset;
    directory.name(entry.name).u32(offset);
  }
  if (terminator_) directory.fill(68, 0);
  file += directory.bytes();
  for (const std::string& payload : payloads_) file += payload;
  for (const Placement& placement : placements_) {
    const std::size_t end = placement.offset + placement.bytes.size();
    if (file.size() < end) file.resize(end, '\0');
    file.replace(placement.offset, placement.bytes.size(), placement.bytes);
  }
  if (truncate_at_ && *truncate_at_ < file.size()) file.resize(*truncate_at_);
  return file;
}

void ModelBuilder::write(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string file = bytes();
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Payload floats3(std::initializer_list<float> values) {
  Payload payload;
  payload.u32(static_cast<std::uint32_t>(values.size() / 3));
  for (float value : values) payload.f32(value);
  return payload;
}

Payload u16s(std::size_t per_element, std::initializer_list<std::uint16_t> values) {
  Payload payload;
  payload.u32(static_cast<std::uint32_t>(values.size() / per_element));
  for (std::uint16_t value : values) payload.u16(value);
  return payload;
}

Payload edges(std::uint32_t leading_word, std::initializer_list<std::uint16_t> values) {
  Payload payload;
  payload.u32(leading_word).u32(static_cast<std::uint32_t>(values.size() / 3));
  for (std::uint16_t value : values) payload.u16(value);
  return payload;
}

Payload materials(std::initializer_list<std::string_view> names) {
  Payload payload;
  payload.u32(static_cast<std::uint32_t>(names.size()));
  for (std::string_view name : names) payload.name(name);
  return payload;
}

}  // namespace model_unpack::testing
