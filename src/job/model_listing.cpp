#include "job/model_listing.h"

#include <cstdio>

#include "job/conversion_job.h"
#include "model/block_directory.h"

namespace model_unpack {

namespace {

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

}  // namespace

bool say_header(ModelFile& model, HeaderBuffer& header, const Diagnostics& said) {
  const bool whole = model.read(header.data(), kHeaderSize) == kHeaderSize;
  said.say("Header of file: " + shown_text(said.console(), std::string_view(header.data())) +
           "\n\n");
  return whole;
}

BlockDirectory say_directory(ModelFile& model, const Diagnostics& said) {
  return read_block_directory(model, [&](const BlockRecord& record) {
    said.say(shown_text(said.console(), record.name()) + "   " + hex(record.block_offset) + "\n");
  });
}

void list_model(const std::string& model_path, Diagnostics& said, FileSystem& files) {
  said.say("Input file: " + shown_name(said.console(), model_path) + "   \n");
  const std::unique_ptr<ModelFile> model = ModelFile::open(model_path.c_str(), files);
  if (!model) {
    said.error(ErrorKind::OpeningInput, "Error opening input file :(");
    return;
  }
  HeaderBuffer header{};
  const bool whole_header = say_header(*model, header, said);
  const bool cut_short = !whole_header || say_directory(*model, said).cut_short;
  say_read_failure(*model, model_path, said);
  if (model->read_failure() == 0 && cut_short) {
    said.error(ErrorKind::DirectoryCutShort, "Error: the file ends before its directory does :(");
  }
}

}  // namespace model_unpack
