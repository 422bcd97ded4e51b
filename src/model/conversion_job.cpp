#include "model/conversion_job.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "export/block_export.h"
#include "model/block_directory.h"
#include "model/file_access.h"
#include "model/file_identity.h"
#include "model/job_scratch.h"
#include "report/info_writer.h"

namespace model_unpack {

namespace {

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

// The checks that keep a job from emptying or deleting the model file it is about to read.
bool clashes_with_outputs(const char* model_name, const char* info_name,
                          const ConsoleOutput& console) {
  const auto model = identify_path(model_name);
  if (!model) return false;
  if (identify_path(info_name) == model) {
    console_print(console, "Error: output file is the input file :(\n");
    return true;
  }
  for (const char* export_file : kExportFileDeletionOrder) {
    if (identify_path(export_file) == model) {
      console_print(console, "Error: input file is an export file :(\n");
      return true;
    }
  }
  return false;
}

void list_directory(const BlockDirectory& directory, const ConsoleOutput& console) {
  for (const BlockRecord& record : directory.records) {
    console_print(console,
                  shown_text(console, record.name()) + "   " + hex(record.block_offset) + "\n");
  }
}

}  // namespace

void process_model_file(NameBuffer& typed_name, const ConsoleOutput& console) {
  JobScratch scratch{};
  add_default_extension(typed_name);
  const NameBuffer info_name = derive_info_file_name(typed_name);
  const char* model_name = typed_name.data();

  console_print(console, std::string("Input file: ") + model_name + "   \n");
  console_print(console, std::string("output file: ") + info_name.data() + "   \n");
  if (clashes_with_outputs(model_name, info_name.data(), console)) return;

  HeaderBuffer header{};
  for (const char* export_file : kExportFileDeletionOrder) unlink(export_file);

  std::unique_ptr<ModelFile> model = ModelFile::open(model_name);
  if (!model) {
    console_print(console, "Error opening input file :(\n");
    return;
  }
  std::unique_ptr<OutputFile> info = OutputFile::create(info_name.data());
  if (!info) {
    console_print(console, "Error opening output file :(\n");
    return;
  }

  model->read(header.data(), kHeaderSize);
  console_print(console,
                "Header of file: " + shown_text(console, std::string_view(header.data())) + "\n\n");
  BlockDirectory directory = read_block_directory(*model);
  list_directory(directory, console);
  read_element_counts(directory, *model);

  export_blocks(directory, *model, scratch, console, identify_descriptor(info->descriptor()));
  write_info_file(*info, info_name.data(), model_name, header, *model, directory, scratch, console);

  // Records first, then the info file, then the model file.
  directory.records.clear();
  info.reset();
  model.reset();
}

}  // namespace model_unpack
