#include "report/info_writer.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "model/block_directory.h"
#include "model/block_kinds.h"
#include "report/float_format.h"
#include "report/number_format.h"
#include "report/number_lines.h"

namespace model_unpack {

namespace {

constexpr std::string_view kRule = "-------------------";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::uint32_t kFailureCheckInterval = 4096;  // elements

// Text of the transfer buffer as a name: up to its first NUL, at most 64 bytes.
std::string_view transfer_text(const UnitReader& reader) {
  const auto* bytes = reinterpret_cast<const char*>(reader.transfer.data());
  return {bytes, strnlen(bytes, reader.transfer.size())};
}

// Formats text straight into the info file's buffer; nothing else may write to the file
// while a Line is alive.
class Line {
 public:
  // Longer than any line or group of lines formatted in one go (a block listing, at most
  // 6 lines with a 64-byte name and a 10-digit size).
  static constexpr std::size_t kRoom = 256;

  explicit Line(OutputFile& out) : out_(out), end_(out.reserve(kRoom)) {}
  ~Line() { out_.commit(end_); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  Line& text(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
    return *this;
  }
  Line& line_break() { return text(kLineBreak); }
  Line& right5(std::uint32_t value) {
    end_ = format_right5(value, end_);
    return *this;
  }
  Line& right(std::uint32_t value, int width) {
    end_ = format_unsigned_right(value, width, end_);
    return *this;
  }
  Line& number(std::uint32_t value) {
    end_ = format_unsigned(value, end_);
    return *this;
  }
  Line& hex(std::uint32_t value) {
    end_ = format_hex_upper(value, end_);
    return *this;
  }
  Line& exponent(std::uint32_t f32_bits) {
    end_ = format_exponent(f32_bits, end_);
    return *this;
  }
  Line& blanks(int count) {  // at most two
    std::memcpy(end_, "  ", 2);
    end_ += count;
    return *this;
  }

 private:
  OutputFile& out_;
  char* end_;
};

void write_text(std::string_view text, OutputFile& out) {
  out.write(text.data(), text.size());
}

void write_listing(std::uint32_t slot, const BlockRecord& record, OutputFile& out) {
  Line(out)
      .text(kRule)
      .line_break()
      .text("--Block number ")
      .right(slot, 2)
      .text("--")
      .line_break()
      .text(kRule)
      .line_break()
      .text("Name of block: ")
      .text(record.name())
      .line_break()  // plain text, '%' and all
      .text("Adress of block: 0x")
      .hex(record.block_offset)
      .line_break()
      .text("Size of block: ")
      .number(record.element_count)
      .line_break()
      .line_break();
}

// False when the bone's extra data was cut by the budget: the block ends after it.
bool write_bone(UnitReader& reader, ElementBudget& budget, OutputFile& out) {
  for (const std::string_view label : {"Bone #1: ", "Bone #2: "}) {
    reader.read_name();
    Line(out).text(label).text(transfer_text(reader)).line_break();
  }
  reader.read_unit(reader.transfer);
  Line(out)
      .text("Data: ")
      .text({reinterpret_cast<const char*>(reader.transfer.data()), kTransferSize})
      .line_break();
  reader.read_u32(reader.extra_length);
  write_text("Other: ", out);
  const std::uint64_t extra = budget.take_up_to(reader.extra_length);
  reader.copy_extra_data(extra, &out);
  // A bone's closing two line breaks are its whole line end.
  write_line_breaks(2, out);
  return extra == reader.extra_length;
}

void write_material(std::uint32_t index, UnitReader& reader, OutputFile& out) {
  reader.read_name();
  Line(out)
      .text("Material #")
      .right(index, 2)
      .text(": ")
      .text(transfer_text(reader))
      .text(".zmtr")
      .line_break();
}

// One line of numbers: the index field, then each value read just before it is written, with
// the short-read rule (past the end of the file a value repeats the last one read).
void write_number_line(const Rendering& row, std::uint32_t index, UnitReader& reader,
                       OutputFile& out) {
  unsigned char element[12];
  for (int i = 0; i < row.values; ++i) {
    if (row.value == Value::U16) {
      reader.read_unit(reader.two);
      std::memcpy(element + 2 * i, reader.two.data(), 2);
    } else {
      reader.read_unit(reader.four);
      std::memcpy(element + 4 * i, reader.four.data(), 4);
    }
  }
  out.commit(format_number_line(row, index, element, out.reserve(kLongestNumberLine)));
}

// A large block whose shown elements all lie in the file is formatted on two cores. The
// registers are left holding its last value, as reading it value by value would.
bool write_number_lines_whole(const BlockKind& kind, const BlockRecord& record, std::uint32_t shown,
                              UnitReader& reader, OutputFile& out) {
  const Rendering& row = kind.rendering;
  const std::uint32_t unit = row.value == Value::U16 ? 2 : 4;
  const std::uint64_t first = std::uint64_t{record.block_offset} + 4u * kind.count_words;
  const std::uint64_t end = first + std::uint64_t{shown} * kind.element_size;
  if (!worth_parallel(shown) ||
      unit * static_cast<std::uint32_t>(row.values) != kind.element_size ||
      end > reader.file().size()) {
    return false;
  }
  if (!write_number_lines_in_parallel(row, kind.element_size, first, shown, reader.file(), out))
    return false;
  unsigned char last[4] = {};
  if (unit == 2) {
    if (reader.file().read_at(end - 2, last, 2) == 2) std::memcpy(reader.two.data(), last, 2);
  } else if (reader.file().read_at(end - 4, last, 4) == 4) {
    std::memcpy(reader.four.data(), last, 4);
  }
  return true;
}

// Elements are shown while their claims, added up over the whole file, fit in the model
// file's size: the report stays a small multiple of the model, however often the directory
// names one block.
void render_block(const BlockKind& kind, BlockRecord& record, UnitReader& reader,
                  ElementBudget& budget, OutputFile& out) {
  const Rendering& row = kind.rendering;
  if (row.value == Value::ListingOnly) return;
  if (row.value == Value::NotSaved) {
    write_text("Don't know what to save", out);
    write_line_breaks(2, out);
    return;
  }
  reader.seek(record.block_offset);
  for (int word = 0; word < kind.count_words; ++word) reader.read_u32(record.element_count);
  if (row.has_heading) {
    write_text(row.heading, out);
    write_line_breaks(2, out);
  }
  if (row.value == Value::Bone) {
    for (std::uint32_t index = 0; index < record.element_count; ++index) {
      if (!budget.take(kind.element_size) || !write_bone(reader, budget, out)) break;
    }
  } else {
    const std::uint32_t shown = budget.take_elements(record.element_count, kind.element_size);
    const bool numbers = row.value == Value::U16 || row.value == Value::F32;
    const bool done = numbers && write_number_lines_whole(kind, record, shown, reader, out);
    for (std::uint32_t index = 0; !done && index < shown; ++index) {
      // Once the file cannot be written, the rest would only be lost.
      if (index % kFailureCheckInterval == 0 && out.failed()) break;
      if (row.value == Value::MaterialName) {
        write_material(index, reader, out);
      } else {
        write_number_line(row, index, reader, out);
      }
    }
  }
  write_line_breaks(1, out);
}

}  // namespace

void write_line_breaks(std::uint32_t count, OutputFile& out) {
  for (std::uint32_t i = 0; i < count; ++i) write_text(kLineBreak, out);
}

bool write_info_file(OutputFile& info, const char* info_name, const char* model_name,
                     const HeaderBuffer& header, UnitReader& reader, BlockDirectory& directory,
                     const ConsoleOutput& console) {
  console_print(console, "Creating info file\n");
  // The 4-byte scratch and the transfer buffer carry over from the export phase.
  reader.two.fill(0);
  reader.extra_length = 0;

  write_text("Info file ", info);
  write_text(info_name, info);
  write_line_breaks(1, info);
  write_text("Created from ", info);
  write_text(model_name, info);
  write_line_breaks(2, info);
  write_text("Header of file \"", info);
  write_text(model_name, info);
  write_text("\": ", info);
  write_text({header.data(), kHeaderSize}, info);
  write_line_breaks(2, info);

  // The directory is walked again from the file. The records the job kept stand for their
  // entries, since the export phase may have changed their element counts.
  const std::unique_ptr<ModelFile> directory_file = reader.file().another_reader();
  DirectoryWalk walk(*directory_file);
  auto kept = directory.records.begin();
  ElementBudget budget(reader.file().size());
  for (std::optional<BlockRecord> entry; !info.failed() && (entry = walk.next());) {
    BlockRecord& record = kept != directory.records.end() && kept->slot == entry->slot
                              ? *kept++
                              : (read_element_count(*entry, reader.file()), *entry);
    write_listing(record.slot, record, info);
    if (const BlockKind* kind = block_kind(record.name()))
      render_block(*kind, record, reader, budget, info);
  }

  write_line_breaks(1, info);
  write_text("---End of file---", info);
  if (!info.close()) {
    console_print(console, "Error writing info file " + std::string(info_name) + " :(\n");
    return false;
  }
  console_print(console, "Info file created\n");
  return true;
}

}  // namespace model_unpack
