#include "report/info_writer.h"

#include <array>
#include <cstring>
#include <string_view>

#include "model/model_stream.h"
#include "report/float_format.h"
#include "report/number_format.h"

namespace model_unpack {

namespace {

enum class IndexField { None, Colon, ColonBlank };  // none, "%5u:", "%5u: "
enum class Value { U16, F32, MaterialName, Bone };

// How one known block name is rendered after its listing.
struct RenderSpec {
  std::string_view block_name;
  bool rendered;  // false: "Don't know what to save", and the file is not read
  int count_words;
  bool has_heading;  // the heading text, then two line breaks, before the first element
  std::string_view heading;
  IndexField index;
  Value value;
  int values;
  std::string_view after_value;
};

constexpr RenderSpec kUnrendered(std::string_view name) {
  return {name, false, 0, false, "", IndexField::None, Value::U16, 0, ""};
}

constexpr RenderSpec kFloats3(std::string_view name) {
  return {name, true, 1, false, "", IndexField::ColonBlank, Value::F32, 3, "  "};
}

// Searched in this order; the first equal name wins.
constexpr std::array<RenderSpec, 18> kRenderSpecs{{
    {"vertexes", true, 1, false, "", IndexField::ColonBlank, Value::U16, 6, "  "},
    {"vertex_tris", true, 1, false, "", IndexField::ColonBlank, Value::U16, 3, "  "},
    kFloats3("positions"),
    {"position_tris", true, 1, false, "", IndexField::ColonBlank, Value::U16, 3, " "},
    kFloats3("normals"),
    kFloats3("binormals"),
    kFloats3("tangents"),
    kUnrendered("texcoords"),
    {"materials", true, 1, false, "", IndexField::None, Value::MaterialName, 1, ""},
    {"material_tris", true, 1, true, "Polygon number: type of material", IndexField::Colon,
     Value::U16, 1, ""},
    {"edges", true, 2, false, "", IndexField::ColonBlank, Value::U16, 3, " "},
    {"bones", true, 1, false, "", IndexField::None, Value::Bone, 1, ""},
    {"bonelinks", true, 1, true, "", IndexField::Colon, Value::U16, 1, ""},
    kUnrendered("animation"),
    kUnrendered("bsp"),
    kUnrendered("portals"),
    kUnrendered("light_animations"),
    kUnrendered("bbox_data"),
}};

constexpr std::string_view kRule = "-------------------";

// Text of the transfer buffer as a name: up to its first NUL, at most 64 bytes.
std::string_view transfer_text(const JobScratch& scratch) {
  const auto* bytes = reinterpret_cast<const char*>(scratch.transfer.data());
  return {bytes, strnlen(bytes, scratch.transfer.size())};
}

// Builds one line of the info file in a fixed buffer, written with a single call.
class Line {
 public:
  Line& text(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
    return *this;
  }
  Line& right(std::uint32_t value, int width) {
    end_ = format_unsigned_right(value, width, end_);
    return *this;
  }
  Line& exponent(std::uint32_t f32_bits) {
    end_ = format_exponent(f32_bits, end_);
    return *this;
  }
  void write_to(OutputFile& out) {
    out.write(buffer_.data(), static_cast<std::size_t>(end_ - buffer_.data()));
    end_ = buffer_.data();
  }

 private:
  // The longest line: an index and six u16 fields, or a material line with a 64-byte name.
  std::array<char, 128> buffer_{};
  char* end_ = buffer_.data();
};

void write_text(std::string_view text, OutputFile& out) { out.write(text.data(), text.size()); }

void write_listing(std::uint32_t slot, const BlockRecord& record, OutputFile& out) {
  Line line;
  write_text(kRule, out);
  write_line_breaks(1, out);
  line.text("--Block number ").right(slot, 2).text("--").write_to(out);
  write_line_breaks(1, out);
  write_text(kRule, out);
  write_line_breaks(1, out);
  write_text("Name of block: ", out);
  write_text(record.name(), out);  // plain text: a '%' in a name is just a character
  write_line_breaks(1, out);
  char hex[kMaxIntegerText];
  line.text("Adress of block: 0x")
      .text({hex, static_cast<std::size_t>(format_hex_upper(record.block_offset, hex) - hex)})
      .write_to(out);
  write_line_breaks(1, out);
  char count[kMaxIntegerText];
  line.text("Size of block: ")
      .text({count, static_cast<std::size_t>(format_unsigned(record.element_count, count) - count)})
      .write_to(out);
  write_line_breaks(2, out);
}

void write_bone(ModelFile& model, OutputFile& out, JobScratch& scratch) {
  for (const std::string_view label : {"Bone #1: ", "Bone #2: "}) {
    model.read(scratch.transfer.data(), kNameSize);
    write_text(label, out);
    write_text(transfer_text(scratch), out);
    write_line_breaks(1, out);
  }
  write_text("Data: ", out);
  model.read(scratch.transfer.data(), kTransferSize);
  write_text({reinterpret_cast<const char*>(scratch.transfer.data()), kTransferSize}, out);
  write_line_breaks(1, out);
  read_u32(model, scratch.extra_length);
  write_text("Other: ", out);
  copy_extra_data(model, &out, scratch, scratch.extra_length);
  // A bone's closing two line breaks are its whole line end.
  write_line_breaks(2, out);
}

void write_element(const RenderSpec& spec, std::uint32_t index, ModelFile& model,
                   OutputFile& out, JobScratch& scratch) {
  Line line;
  switch (spec.value) {
    case Value::Bone:
      write_bone(model, out, scratch);
      return;
    case Value::MaterialName:
      model.read(scratch.transfer.data(), kNameSize);
      line.text("Material #").right(index, 2).text(": ").text(transfer_text(scratch)).text(".zmtr");
      break;
    case Value::U16:
    case Value::F32:
      if (spec.index != IndexField::None) {
        line.right(index, 5).text(spec.index == IndexField::ColonBlank ? ": " : ":");
      }
      for (int i = 0; i < spec.values; ++i) {
        if (spec.value == Value::U16) {
          model.read(scratch.two.data(), scratch.two.size());
          line.right(load_u16(scratch.two.data()), 5);
        } else {
          model.read(scratch.four.data(), scratch.four.size());
          line.exponent(load_u32(scratch.four.data()));
        }
        line.text(spec.after_value);
      }
      break;
  }
  // The element's line break goes out with its line, in the same single write.
  line.text("\r\n").write_to(out);
}

void render_block(const RenderSpec& spec, BlockRecord& record, ModelFile& model,
                  OutputFile& out, JobScratch& scratch) {
  if (!spec.rendered) {
    write_text("Don't know what to save", out);
    write_line_breaks(2, out);
    return;
  }
  model.seek(record.block_offset);
  for (int word = 0; word < spec.count_words; ++word) read_u32(model, record.element_count);
  if (spec.has_heading) {
    write_text(spec.heading, out);
    write_line_breaks(2, out);
  }
  for (std::uint32_t index = 0; index < record.element_count; ++index) {
    write_element(spec, index, model, out, scratch);
  }
  write_line_breaks(1, out);
}

const RenderSpec* render_spec_for(std::string_view name) {
  for (const RenderSpec& spec : kRenderSpecs) {
    if (spec.block_name == name) return &spec;
  }
  return nullptr;
}

}  // namespace

void write_line_breaks(std::uint32_t count, OutputFile& out) {
  for (std::uint32_t i = 0; i < count; ++i) out.write("\r\n", 2);
}

void write_info_file(OutputFile& info, const char* info_name, const char* model_name,
                     const HeaderBuffer& header, ModelFile& model, BlockDirectory& directory,
                     JobScratch& scratch, const ConsoleOutput& console) {
  console_print(console, "Creating info file\n");
  // The 4-byte scratch and the transfer buffer carry over from the export phase.
  scratch.two.fill(0);
  scratch.extra_length = 0;

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

  for (std::uint32_t slot = 0; slot < directory.count(); ++slot) {
    BlockRecord& record = directory.records[slot];
    write_listing(slot, record, info);
    if (const RenderSpec* spec = render_spec_for(record.name())) {
      render_block(*spec, record, model, info, scratch);
    }
  }

  write_line_breaks(1, info);
  write_text("---End of file---", info);
  console_print(console, "Info file created\n");
}

}  // namespace model_unpack
