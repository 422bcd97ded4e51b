#include "output_budget.h"

#include <algorithm>
#include <vector>

#include "model/block_kinds.h"

namespace model_unpack::fuzz {

namespace {

// The longest info file line an element of any rendered kind can take, line break included.
constexpr std::uint64_t kInfoLineBytes = 100;

// Reads over the bytes with the job's rule: what is not delivered keeps the old value.
class Reader {
 public:
  explicit Reader(std::string_view file) : file_(file) {}
  void seek(std::uint64_t offset) { position_ = offset; }
  void skip(std::uint64_t size) { position_ += size; }
  void read(std::uint32_t& value, int size) {
    for (int i = 0; i < size && position_ < file_.size(); ++i, ++position_) {
      const auto byte = static_cast<unsigned char>(file_[position_]);
      value = (value & ~(0xFFu << (8 * i))) | (static_cast<std::uint32_t>(byte) << (8 * i));
    }
  }

 private:
  std::string_view file_;
  std::uint64_t position_ = 0;
};

struct Record {
  std::string_view name;
  std::uint32_t offset = 0;
  std::uint32_t count = 0;
};

std::vector<Record> read_directory(std::string_view file, Reader& reader) {
  std::vector<Record> records;
  for (std::uint64_t entry = kHeaderSize;; entry += kEntrySize) {
    const std::string_view name_field =
        entry < file.size()
            ? file.substr(entry, std::min<std::uint64_t>(kNameSize, file.size() - entry))
            : std::string_view();
    if (name_field.empty() || name_field[0] == '\0') break;
    Record record;
    record.name = name_field.substr(0, name_field.find('\0'));
    reader.seek(entry + kNameSize);
    reader.read(record.offset, 4);
    records.push_back(record);
  }
  for (Record& record : records) {
    reader.seek(record.offset);
    reader.read(record.count, 4);
  }
  return records;
}

// Walks `count` bones from the reader's position; bytes written, stopping past `limit`.
std::uint64_t bones_output(Reader& reader, std::uint32_t count, std::uint32_t& extra_length,
                           std::uint64_t limit) {
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < count && total <= limit; ++i) {
    reader.skip(192);
    reader.read(extra_length, 4);
    reader.skip(extra_length);
    total += kInfoLineBytes * 5 + extra_length;
  }
  return total;
}

std::uint64_t export_output(std::vector<Record>& records, Reader& reader, std::uint64_t limit) {
  std::uint64_t total = 0;
  for (const BlockKind& row : kBlockKinds) {
    if (row.export_file == nullptr) continue;
    auto found = std::find_if(records.begin(), records.end(), [&row](const Record& record) {
      return record.name == row.name;
    });
    if (found == records.end()) continue;
    reader.seek(found->offset);
    for (int word = 0; word < row.count_words; ++word) reader.read(found->count, 4);
    if (row.copy == ElementCopy::Bone) {
      std::uint32_t extra_length = 0;
      total += bones_output(reader, found->count, extra_length, limit - std::min(total, limit));
    } else if (row.copy == ElementCopy::CollideBody) {
      for (std::uint32_t i = 0; i < found->count && total <= limit; ++i) {
        std::uint32_t groups = 0;
        reader.skip(64);
        reader.read(groups, 2);
        reader.skip(36ull * groups);
        total += 66 + 36ull * groups;
      }
    } else {
      total += 64ull * found->count;
    }
    if (total > limit) break;
  }
  return total;
}

std::uint64_t info_output(std::vector<Record>& records, Reader& reader, std::uint64_t limit) {
  static constexpr std::string_view kElementNames[] = {
      "vertexes",  "vertex_tris", "positions", "position_tris", "normals",
      "binormals", "tangents",    "materials", "material_tris", "bonelinks"};
  std::uint64_t total = 0;
  std::uint32_t extra_length = 0;
  for (Record& record : records) {
    total += 200;  // the listing
    reader.seek(record.offset);
    if (record.name == "bones") {
      reader.read(record.count, 4);
      total += bones_output(reader, record.count, extra_length, limit - std::min(total, limit));
    } else if (record.name == "edges") {
      reader.read(record.count, 4);
      reader.read(record.count, 4);
      total += kInfoLineBytes * record.count;
    } else if (std::find(std::begin(kElementNames), std::end(kElementNames), record.name) !=
               std::end(kElementNames)) {
      reader.read(record.count, 4);
      total += kInfoLineBytes * record.count;
    }
    if (total > limit) break;
  }
  return total;
}

}  // namespace

std::uint64_t estimate_output(std::string_view file, std::uint64_t limit) {
  Reader reader(file);
  std::vector<Record> records = read_directory(file, reader);
  const std::uint64_t exported = export_output(records, reader, limit);
  if (exported > limit) return exported;
  return exported + info_output(records, reader, limit - exported);
}

}  // namespace model_unpack::fuzz
