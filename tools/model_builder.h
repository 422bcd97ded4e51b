// Builds model files in memory from a short description, for tests, tools and benchmarks:
//
//   auto model = ModelBuilder().header("demo")
//                    .block("positions", Payload().u32(1).f32(1.0f).f32(-2.5f).f32(0.0f))
//                    .truncate_at(150)
//                    .bytes();
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace model_unpack::testing {

// Little-endian payload bytes.
class Payload {
 public:
  Payload& u16(std::uint16_t value);
  Payload& u32(std::uint32_t value);
  Payload& f32(float value);
  Payload& f32_bits(std::uint32_t bits);
  // A name field: the text, then zeros up to `width` bytes (no NUL when the text fills it).
  Payload& name(std::string_view text, std::size_t width = 64);
  Payload& raw(std::string_view bytes);
  Payload& fill(std::size_t count, unsigned char byte);

  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::string bytes_;
};

class ModelBuilder {
 public:
  // The 28-byte header: the text, then zeros (cut at 28 bytes).
  ModelBuilder& header(std::string_view text);
  // A named entry whose payload is laid out after the directory, in the order added.
  ModelBuilder& block(std::string_view name, const Payload& payload);
  // An entry pointing at a fixed offset; the name is a 64-byte field as Payload::name makes it.
  ModelBuilder& entry(std::string_view name, std::uint32_t offset);
  // Bytes at a fixed offset; the file grows with zeros to reach it.
  ModelBuilder& place(std::uint32_t offset, const Payload& payload);
  ModelBuilder& without_terminator();
  ModelBuilder& truncate_at(std::size_t size);

  // Offset that the payload of the index-th block() gets.
  std::uint32_t payload_offset(std::size_t block_index) const;
  std::string bytes() const;
  void write(const std::string& path) const;

 private:
  struct Entry {
    std::string name;
    std::optional<std::uint32_t> fixed_offset;
    std::optional<std::size_t> payload_index;
  };
  struct Placement {
    std::uint32_t offset;
    std::string bytes;
  };

  std::size_t directory_end() const;

  std::string header_ = std::string(28, '\0');
  std::vector<Entry> entries_;
  std::vector<std::string> payloads_;
  std::vector<Placement> placements_;
  bool terminator_ = true;
  std::optional<std::size_t> truncate_at_;
};

// Helpers for the common block kinds.
Payload floats3(std::initializer_list<float> values);  // count = values / 3
Payload u16s(std::size_t per_element, std::initializer_list<std::uint16_t> values);
Payload edges(std::uint32_t leading_word, std::initializer_list<std::uint16_t> values);
Payload materials(std::initializer_list<std::string_view> names);

}  // namespace model_unpack::testing
