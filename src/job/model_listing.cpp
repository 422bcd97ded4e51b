#include "job/model_listing.h"

#include <array>
#include <utility>

#include "job/conversion_job.h"
#include "model/block_directory.h"
#include "model/block_kinds.h"
#include "model/element_walk.h"
#include "model/whole_elements.h"

namespace model_unpack {

namespace {

// The element count word the job reads for an entry, or nothing when the file ends before
// it: for the first entry of a kind the job exports, the kind's own (an edges block's second
// word); for every other entry, the block's first word, as the info file lists it.
std::optional<std::uint32_t> count_word(const BlockRecord& entry, bool first_of_kind,
                                        ModelFile& counts) {
  const BlockKind* kind = block_kind(entry.name());
  const int skipped = kind == nullptr || !first_of_kind ? 0 : kind->count_words - 1;
  counts.seek(std::uint64_t{entry.block_offset} + 4u * skipped);
  unsigned char word[4];
  if (counts.read(word, sizeof word) != sizeof word) return std::nullopt;
  return load_u32(word);
}

// What `entry`'s block declares: its count word, and where its elements end, for a kind the
// tool knows.
EntryFacts entry_facts(const BlockRecord& entry, bool first_of_kind, ModelFile& counts,
                       EndWalkAllowance& allowance) {
  EntryFacts facts{count_word(entry, first_of_kind, counts), std::nullopt};
  if (const BlockKind* kind = block_kind(entry.name()); kind && facts.count)
    facts.end = declared_end(*kind, entry, counts, allowance);
  return facts;
}

// Header and directory; true when the file holds them whole.
bool say_header_and_directory(ModelFile& model, JobReport& report) {
  HeaderBuffer header{};
  const bool whole_header = say_header(model, header, report);
  return say_directory(model, report).cut_short ? false : whole_header;
}

}  // namespace

bool say_header(ModelFile& model, HeaderBuffer& header, JobReport& report) {
  const std::size_t read = model.read(header.data(), kHeaderSize);
  report.header(header, read);
  return read == kHeaderSize;
}

BlockDirectory say_directory(ModelFile& model, JobReport& report) {
  // Counts come from a reader of their own, so the directory's stays where it is.
  const std::unique_ptr<ModelFile> counts =
      report.wants_counts() ? model.another_reader() : nullptr;
  std::array<bool, kBlockKinds.size()> seen{};
  // Each element walked is at least 64 bytes: twice over the file at most.
  EndWalkAllowance allowance{model.size() / 32 + 4096};
  BlockDirectory directory = read_block_directory(model, [&](const BlockRecord& entry) {
    if (!counts) return report.directory_entry(entry, {});
    const BlockKind* kind = block_kind(entry.name());
    const bool first = kind != nullptr && !std::exchange(seen[kind - kBlockKinds.data()], true);
    report.directory_entry(entry, entry_facts(entry, first, *counts, allowance));
  });
  report.directory_read(directory, model.size());
  return directory;
}

void list_model(const std::string& model_path, JobReport& report, FileSystem& files) {
  report.listing_starting(model_path);
  const std::unique_ptr<ModelFile> model = ModelFile::open(model_path.c_str(), files);
  if (!model) {
    report.message({form_of(JobMessage::OpeningInput)});
    return;
  }
  const bool whole = say_header_and_directory(*model, report);
  say_read_failure(*model, model_path, report);
  if (model->read_failure() == 0 && !whole) {
    report.message({form_of(JobMessage::DirectoryCutShort)});
  }
}

void describe_model(const std::string& model_path, JobReport& report, FileSystem& files) {
  const std::unique_ptr<ModelFile> model = ModelFile::open(model_path.c_str(), files);
  if (model) static_cast<void>(say_header_and_directory(*model, report));
}

}  // namespace model_unpack
