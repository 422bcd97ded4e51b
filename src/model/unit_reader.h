// Reads block data with the tool's short-read rule. Every unit passes through one of four
// registers (the job's scratch values), and bytes a read does not deliver keep whatever the
// register held, so values past the end of the file repeat old ones. The registers start at
// zero and live as long as the reader: the export phase and the info file phase share them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/buffered_file.h"
#include "model/model_format.h"

namespace model_unpack {

inline std::uint16_t load_u16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t load_u32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline void store_u32(std::uint32_t value, unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A u32 read in place: a partial read replaces only its low-order bytes.
inline void read_u32(ModelFile& file, std::uint32_t& value) {
  unsigned char bytes[4];
  store_u32(value, bytes);
  file.read(bytes, sizeof bytes);
  value = load_u32(bytes);
}

// A null `out` is an output that did not open: reads still happen, nothing is written. Nor is
// anything once a write to `out` has failed: it would be lost.
inline void write_bytes(OutputFile* out, const void* data, std::size_t size) {
  if (out != nullptr && !out->failed()) out->write(data, size);
}

class UnitReader {
 public:
  explicit UnitReader(ModelFile& file) : file_(file) {}

  std::array<unsigned char, 4> four{};
  std::array<unsigned char, 2> two{};
  std::array<unsigned char, kTransferSize> transfer{};
  std::uint32_t extra_length = 0;

  ModelFile& file() { return file_; }
  void seek(std::uint64_t offset) { file_.seek(offset); }

  void read_u32(std::uint32_t& value) { model_unpack::read_u32(file_, value); }

  template <std::size_t N>
  void read_unit(std::array<unsigned char, N>& reg) {
    file_.read(reg.data(), N);
  }
  void read_name() { file_.read(transfer.data(), kNameSize); }

  // Copies `units` units of N bytes through `reg` exactly as reading and writing them one by
  // one would: in bulk while the file delivers whole units, then the unit cut short by the
  // end of the file (its first bytes replace the register's), then the register for every
  // unit left.
  template <std::size_t N>
  void copy_units(std::array<unsigned char, N>& reg, std::uint64_t units, OutputFile* out);

  // Carries `length` bytes of bone extra data through the 64-byte transfer buffer: one read of
  // the whole when it fits, else pieces of 64 and the rest, so nothing is lost or overrun.
  void copy_extra_data(std::uint64_t length, OutputFile* out) {
    while (length > 0) {
      const std::size_t piece = length < kTransferSize ? length : kTransferSize;
      file_.read(transfer.data(), piece);
      write_bytes(out, transfer.data(), piece);
      length -= piece;
    }
  }

 private:
  ModelFile& file_;
};

template <std::size_t N>
void UnitReader::copy_units(std::array<unsigned char, N>& reg, std::uint64_t units,
                            OutputFile* out) {
  constexpr std::size_t kChunkUnits = (std::size_t{1} << 15) / N;
  std::array<unsigned char, kChunkUnits * N> chunk;
  while (units > 0) {
    const std::size_t wanted = units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
    const std::size_t delivered = file_.read(chunk.data(), wanted * N);
    const std::size_t whole = delivered / N;
    if (whole > 0) {
      write_bytes(out, chunk.data(), whole * N);
      std::memcpy(reg.data(), chunk.data() + (whole - 1) * N, N);
      units -= whole;
    }
    if (delivered == wanted * N) continue;

    // The end of the file: from here on every read delivers nothing.
    const std::size_t cut = delivered % N;
    if (cut > 0) {
      std::memcpy(reg.data(), chunk.data() + whole * N, cut);
      write_bytes(out, reg.data(), N);
      --units;
    }
    if (out == nullptr) return;
    const std::size_t fill = units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
    for (std::size_t i = 0; i < fill; ++i) std::memcpy(&chunk[i * N], reg.data(), N);
    while (units > 0 && !out->failed()) {
      const std::size_t repeated =
          units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
      out->write(chunk.data(), repeated * N);
      units -= repeated;
    }
    return;
  }
}

// What a block's elements may still claim: at most the model file's size in all, so a count
// word can never make the job write more than a small multiple of the file. A claim that fits
// is handled in full, past the end of the file or not.
class ElementBudget {
 public:
  explicit ElementBudget(std::uint64_t model_size) : left_(model_size) {}

  // How many of `count` elements of `size` bytes fit; they are taken.
  std::uint32_t take_elements(std::uint32_t count, std::uint32_t size) {
    const std::uint64_t fitting = left_ / size;
    const std::uint32_t taken = fitting < count ? static_cast<std::uint32_t>(fitting) : count;
    left_ -= std::uint64_t{taken} * size;
    return taken;
  }
  // Takes `size` bytes if they fit.
  bool take(std::uint64_t size) {
    if (size > left_) return false;
    left_ -= size;
    return true;
  }
  // Takes at most `size` bytes; returns how many.
  std::uint64_t take_up_to(std::uint64_t size) {
    const std::uint64_t taken = size < left_ ? size : left_;
    left_ -= taken;
    return taken;
  }

 private:
  std::uint64_t left_;
};

}  // namespace model_unpack
