#include "model/element_walk.h"

#include <algorithm>

namespace model_unpack {

std::uint32_t ElementWalk::read_count_words(const BlockKind& kind, std::uint32_t block_offset,
                                            std::uint32_t count, OutputFile* out) {
  file_.seek(block_offset);
  for (int word = 0; word < kind.count_words; ++word) {
    model_unpack::read_u32(file_, count);
    unsigned char bytes[4];
    store_u32(count, bytes);
    write_bytes(out, bytes, sizeof bytes);
  }
  return count;
}

CopiedElements ElementWalk::copy_elements(const ElementLayout& layout, std::uint32_t count,
                                          ElementBudget& budget, OutputFile* out) {
  if (layout.tail == Tail::None) {
    const std::uint32_t handled = budget.take_elements(count, layout.fixed_size());
    copy_fields(layout.fields, handled, out);
    return {handled, handled < count};
  }
  if (layout.tail == Tail::CountedBytes) last_.extra_length = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!budget.take(layout.fixed_size())) return {i, true};
    copy_fields(layout.fields, 1, out);
    if (layout.tail == Tail::CountedBytes) {
      const std::uint64_t extra = budget.take_up_to(last_.extra_length);
      copy_tail_bytes(extra, out);
      if (extra < last_.extra_length) return {i + 1, true};
    } else {
      const std::uint16_t groups = load_u16(last_.two.data());
      const std::uint32_t fitting = budget.take_elements(groups, layout.group_size());
      copy_fields(layout.group, fitting, out);
      if (fitting < groups) return {i + 1, true};
    }
  }
  return {count, false};
}

std::span<const unsigned char> ElementWalk::read(Field field) {
  switch (traits(field).last_value) {
    case LastValue::TwoByteValue:
      if (field == Field::GroupCount) last_.two.fill(0);
      file_.read(last_.two.data(), last_.two.size());
      return last_.two;
    case LastValue::FourByteValue:
      file_.read(last_.four.data(), last_.four.size());
      return last_.four;
    case LastValue::Transfer:
      file_.read(last_.transfer.data(), last_.transfer.size());
      return last_.transfer;
    case LastValue::Length:
      model_unpack::read_u32(file_, last_.extra_length);
      break;
  }
  return {};
}

void ElementWalk::copy_tail_bytes(std::uint64_t length, OutputFile* out) {
  while (length > 0) {
    const std::size_t piece = length < kTransferSize ? length : kTransferSize;
    file_.read(last_.transfer.data(), piece);
    write_bytes(out, last_.transfer.data(), piece);
    length -= piece;
  }
}

// Fields read into the same last value go in bulk; copying them one by one would write the same
// bytes.
void ElementWalk::copy_fields(const FieldList& fields, std::uint64_t repeat, OutputFile* out) {
  if (fields.uniform()) {
    const std::uint64_t units = repeat * static_cast<std::uint64_t>(fields.count);
    switch (traits(fields.fields[0]).last_value) {
      case LastValue::TwoByteValue:
        return copy_units(last_.two, units, out);
      case LastValue::FourByteValue:
        return copy_units(last_.four, units, out);
      case LastValue::Transfer:
        return copy_units(last_.transfer, units, out);
      case LastValue::Length:
        return;
    }
  }
  for (std::uint64_t i = 0; i < repeat; ++i) {
    for (const Field field : fields) {
      if (field == Field::LengthWord) {
        read(field);  // read, never written
      } else if (field == Field::GroupCount) {
        last_.two.fill(0);
        copy_units(last_.two, 1, out);
      } else {
        copy_fields(FieldList{field}, 1, out);
      }
    }
  }
}

// Copies `units` units of N bytes through the last value `last` exactly as reading and writing them
// one by one would: in bulk while the file delivers whole units, then the unit cut short by the end
// of the file (its first bytes replace the last value's), then the last value for every unit left.
template <std::size_t N>
void ElementWalk::copy_units(std::array<unsigned char, N>& last, std::uint64_t units,
                             OutputFile* out) {
  constexpr std::size_t kChunkUnits = (std::size_t{1} << 15) / N;
  std::array<unsigned char, kChunkUnits * N> chunk;
  while (units > 0) {
    const std::size_t wanted = units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
    const std::size_t delivered = file_.read(chunk.data(), wanted * N);
    const std::size_t whole = delivered / N;
    if (whole > 0) {
      write_bytes(out, chunk.data(), whole * N);
      std::memcpy(last.data(), chunk.data() + (whole - 1) * N, N);
      units -= whole;
    }
    if (delivered == wanted * N) continue;

    // The end of the file: from here on every read delivers nothing.
    const std::size_t cut = delivered % N;
    if (cut > 0) {
      std::memcpy(last.data(), chunk.data() + whole * N, cut);
      write_bytes(out, last.data(), N);
      --units;
    }
    if (out == nullptr) return;
    const std::size_t fill = units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
    for (std::size_t i = 0; i < fill; ++i) std::memcpy(&chunk[i * N], last.data(), N);
    while (units > 0 && !out->failed()) {
      const std::size_t repeated =
          units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
      out->write(chunk.data(), repeated * N);
      units -= repeated;
    }
    return;
  }
}

}  // namespace model_unpack
