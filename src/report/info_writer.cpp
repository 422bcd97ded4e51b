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

// A name field as text: up to its first NUL, at most 64 bytes.
std::string_view name_field_text(std::span<const unsigned char> field) {
  const auto* bytes = reinterpret_cast<const char*>(field.data());
  return {bytes, strnlen(bytes, field.size())};
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

void write_listing(std::uint32_t slot, const BlockRecord& record, std::uint32_t count,
                   OutputFile& out) {
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
      .number(count)
      .line_break()
      .line_break();
}

// False when the bone's extra data was cut by the budget: the block ends after it.
bool write_bone(const ElementLayout& layout, ElementWalk& walk, ElementBudget& budget,
                OutputFile& out) {
  constexpr std::string_view kLabels[] = {"Bone #1: ", "Bone #2: ", "Data: "};
  static_assert(std::size(kLabels) + 1 == block_kind("bones")->layout.fields.count);
  const std::string_view* label = kLabels;
  for (const Field field : layout.fields) {
    const std::span<const unsigned char> bytes = walk.read(field);
    if (field == Field::Name64) {
      Line(out).text(*label++).text(name_field_text(bytes)).line_break();
    } else if (field == Field::Raw64) {
      Line(out)
          .text(*label++)
          .text({reinterpret_cast<const char*>(bytes.data()), bytes.size()})
          .line_break();
    }
  }
  write_text("Other: ", out);
  const std::uint32_t length = walk.last().extra_length;
  const std::uint64_t extra = budget.take_up_to(length);
  walk.copy_tail_bytes(extra, &out);
  // A bone's closing two line breaks are its whole line end.
  write_line_breaks(2, out);
  return extra == length;
}

void write_material(std::uint32_t index, ElementWalk& walk, OutputFile& out) {
  Line(out)
      .text("Material #")
      .right(index, 2)
      .text(": ")
      .text(name_field_text(walk.read(Field::Name64)))
      .text(".zmtr")
      .line_break();
}

// One line of numbers: the index field, then each value read just before it is written, with
// the short-read rule (past the end of the file a value repeats the last one read).
void write_number_line(const Rendering& rendering, std::uint32_t index, ElementWalk& walk,
                       OutputFile& out) {
  const Field value = rendering.value == Value::U16 ? Field::U16 : Field::F32;
  const std::size_t size = traits(value).size;
  unsigned char element[kLargestNumberElement];
  for (int i = 0; i < rendering.values; ++i)
    std::memcpy(element + size * i, walk.read(value).data(), size);
  out.commit(format_number_line(rendering, index, element, out.reserve(kLongestNumberLine)));
}

// A large block whose shown elements all lie in the file is formatted in chunks; returns how
// many elements were written so. The last value read is left as reading the block value by
// value would leave it, and the walk stands at the first element not written, so that
// elements the file no longer holds (it was cut short since it was opened) follow the walk's
// rule for missing bytes.
std::uint32_t write_number_lines_whole(const BlockKind& kind, std::uint32_t block_offset,
                                       std::uint32_t shown, ElementWalk& walk, ChunkBuffers& chunks,
                                       OutputFile& out) {
  const Rendering& rendering = kind.rendering;
  const std::uint64_t first = std::uint64_t{block_offset} + 4u * kind.count_words;
  const std::uint64_t end = first + std::uint64_t{shown} * kind.element_size();
  ModelFile& model = walk.file();
  if (!worth_chunking(shown) || end > model.size()) return 0;
  unsigned char value[4];
  const std::uint32_t written = write_number_lines_in_chunks(rendering, kind.element_size(), first,
                                                             shown, model, chunks, out, value);
  LastValues& last = walk.last();
  if (written > 0) {
    if (rendering.value == Value::U16) {
      std::memcpy(last.two.data(), value, 2);
    } else {
      std::memcpy(last.four.data(), value, 4);
    }
  }
  if (written < shown) model.seek(first + std::uint64_t{written} * kind.element_size());
  return written;
}

// Elements are shown while their claims, added up over the whole file, fit in the model
// file's size: the report stays a small multiple of the model, however often the directory
// names one block.
void render_block(const BlockKind& kind, std::uint32_t block_offset, std::uint32_t count,
                  ElementWalk& walk, ElementBudget& budget, ChunkBuffers& chunks, OutputFile& out) {
  const Rendering& rendering = kind.rendering;
  if (rendering.value == Value::ListingOnly) return;
  if (rendering.value == Value::NotSaved) {
    write_text("Don't know what to save", out);
    write_line_breaks(2, out);
    return;
  }
  // The count words are read again, in place into the count the listing showed.
  count = walk.read_count_words(kind, block_offset, count, nullptr);
  if (rendering.has_heading) {
    write_text(rendering.heading, out);
    write_line_breaks(2, out);
  }
  if (rendering.value == Value::Bone) {
    for (std::uint32_t index = 0; index < count; ++index) {
      if (!budget.take(kind.element_size()) || !write_bone(kind.layout, walk, budget, out)) break;
    }
  } else {
    const std::uint32_t shown = budget.take_elements(count, kind.element_size());
    const bool numbers = rendering.value == Value::U16 || rendering.value == Value::F32;
    const std::uint32_t chunked =
        numbers ? write_number_lines_whole(kind, block_offset, shown, walk, chunks, out) : 0;
    for (std::uint32_t index = chunked; index < shown; ++index) {
      // Once the file cannot be written, the rest would only be lost.
      if (index % kFailureCheckInterval == 0 && out.failed()) break;
      if (rendering.value == Value::MaterialName) {
        write_material(index, walk, out);
      } else {
        write_number_line(rendering, index, walk, out);
      }
    }
  }
  write_line_breaks(1, out);
}

}  // namespace

void write_line_breaks(std::uint32_t count, OutputFile& out) {
  for (std::uint32_t i = 0; i < count; ++i) write_text(kLineBreak, out);
}

bool write_info_file(OutputFile& info, const InfoSource& source, ModelFile& model,
                     InfoReport& report) {
  report.info_starting();
  // The 4-byte value and the transfer buffer go on from the export phase; the 2-byte value and
  // the length word start again from zero.
  LastValues last = source.last_values;
  last.two.fill(0);
  last.extra_length = 0;
  ElementWalk elements(model, last);

  write_text("Info file ", info);
  write_text(source.info_name, info);
  write_line_breaks(1, info);
  write_text("Created from ", info);
  write_text(source.model_name, info);
  write_line_breaks(2, info);
  write_text("Header of file \"", info);
  write_text(source.model_name, info);
  write_text("\": ", info);
  write_text({source.header.data(), kHeaderSize}, info);
  write_line_breaks(2, info);

  // The directory is walked again from the file. A kept record's count is the one the export
  // phase left; any other entry's is read afresh.
  const std::unique_ptr<ModelFile> directory_file = model.another_reader();
  DirectoryWalk walk(*directory_file);
  std::size_t kept = 0;
  ElementBudget budget(model.size());
  ChunkBuffers chunks;
  for (std::optional<BlockRecord> entry; !info.failed() && (entry = walk.next());) {
    std::uint32_t count = 0;
    if (kept < source.directory.records.size() &&
        source.directory.records[kept].slot == entry->slot) {
      count = source.element_counts[kept++];
    } else {
      read_element_count(*entry, model);
      count = entry->element_count;
    }
    const std::uint64_t start = info.written();
    write_listing(entry->slot, *entry, count, info);
    if (const BlockKind* kind = block_kind(entry->name()))
      render_block(*kind, entry->block_offset, count, elements, budget, chunks, info);
    report.info_section(entry->slot, start, info.written());
  }

  write_line_breaks(1, info);
  write_text("---End of file---", info);
  const std::uint64_t bytes = info.written();
  if (!info.close()) {
    report.message({kWritingInfo, {{"file", source.info_name}}});
    return false;
  }
  report.info_written(bytes);
  return true;
}

}  // namespace model_unpack
