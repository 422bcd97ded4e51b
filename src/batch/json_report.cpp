#include "batch/json_report.h"

#include <nlohmann/json.hpp>

#include "io/utf8.h"
#include "model/block_kinds.h"

namespace model_unpack {

namespace {

using Json = nlohmann::ordered_json;

bool is_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = utf8_sequence_length(text.substr(i));
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string hex_of(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += {kDigits[byte >> 4], kDigits[byte & 15]};
  }
  return hex;
}

// A path as text; one that is not UTF-8 has its exact bytes beside it, under KEY_hex.
void put_path(Json& line, const std::string& key, std::string_view path) {
  line[key] = path;
  if (!is_utf8(path)) line[key + "_hex"] = hex_of(path);
}

Json optional_path(const std::optional<std::string>& path) {
  return path ? Json(*path) : Json(nullptr);
}

std::string role_name(FileRole role) {
  switch (role) {
    case FileRole::Export:
      return "export";
    case FileRole::Info:
      return "info";
    case FileRole::Glb:
      return "glb";
    case FileRole::Png:
      return "png";
  }
  return "";
}

std::string last_component(std::string_view path) {
  return std::string(path.substr(path.find_last_of('/') + 1));
}

Json event(std::string_view name, const std::string& model) {
  Json line;
  line["event"] = name;
  put_path(line, "model", model);
  return line;
}

// One JSON line: text that is not UTF-8 is given as U+FFFD (its _hex field keeps the bytes).
std::string line_of(const Json& line) {
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

void emit(LineSink& sink, const Json& line) {
  sink.take(line_of(line));
}

}  // namespace

JsonReport::JsonReport(LineSink& sink, const std::string& model, const JobOutputs& outputs)
    : sink_(sink), model_(model), outputs_(outputs) {}

std::string json_model_line(const std::string& model, const JobOutputs& outputs) {
  Json line = event("model", model);
  put_path(line, "path", outputs.names.model);
  line["info"] = optional_path(outputs.info);
  line["exports_folder"] = optional_path(outputs.exports_folder);
  line["glb"] = optional_path(outputs.glb);
  line["png"] = optional_path(outputs.png);
  return line_of(line);
}

void JsonReport::begin() {
  sink_.take(json_model_line(model_, outputs_));
}

std::string json_arguments_line(const std::vector<PathWord>& path_words) {
  Json paths = Json::array();
  for (const PathWord& path : path_words) {
    Json word;
    word["word"] = path.word;
    word["at"] = path.at;
    word["role"] = path.role == PathWord::Role::Model ? "model" : "exports_folder";
    paths.push_back(std::move(word));
  }
  Json line;
  line["event"] = "arguments";
  line["paths"] = std::move(paths);
  return line_of(line);
}

void JsonReport::header(const HeaderBuffer& header, std::size_t read) {
  Json line = event("header", model_);
  line["text"] = std::string_view(header.data());
  line["hex"] = hex_of({header.data(), kHeaderSize});
  line["whole"] = read == kHeaderSize;
  emit(sink_, line);
}

void JsonReport::directory_entry(const BlockRecord& entry, const EntryFacts& facts) {
  const BlockKind* kind = block_kind(entry.name());
  Json line = event("block", model_);
  line["index"] = entry.slot;
  line["name"] = entry.name();
  line["name_hex"] = hex_of(entry.name());
  line["offset"] = entry.block_offset;
  line["count"] = facts.count ? Json(*facts.count) : Json(nullptr);
  line["end"] = facts.end ? Json(*facts.end) : Json(nullptr);
  line["known"] = kind != nullptr;
  line["export"] = kind != nullptr && kind->export_file ? Json(kind->export_file) : Json(nullptr);
  const Value shown = kind == nullptr ? Value::NotSaved : kind->rendering.value;
  line["info_shows"] = shown != Value::NotSaved && shown != Value::ListingOnly;
  emit(sink_, line);
}

void JsonReport::directory_read(const BlockDirectory& directory, std::uint64_t file_size) {
  const std::uint64_t entries = directory.count() + (directory.cut_short ? 0 : 1);
  Json line = event("directory", model_);
  line["entries"] = directory.count();
  line["start"] = std::min<std::uint64_t>(kHeaderSize, file_size);
  line["end"] = std::min<std::uint64_t>(kHeaderSize + kEntrySize * entries, file_size);
  line["whole"] = !directory.cut_short;
  line["file_size"] = file_size;
  emit(sink_, line);
}

void JsonReport::export_written(const BlockKind& kind, std::uint64_t bytes) {
  const std::string& folder = *outputs_.exports_folder;
  written_.push_back({FileRole::Export,
                      folder.empty() ? kind.export_file : folder + "/" + kind.export_file, bytes});
}

// Told as it comes: a directory of millions of entries has as many sections, which are not
// worth keeping until the info file stands under its name (the end event says whether it does).
void JsonReport::info_section(std::uint32_t slot, std::uint64_t start, std::uint64_t end) {
  Json line = event("section", model_);
  line["index"] = slot;
  line["start"] = start;
  line["end"] = end;
  emit(sink_, line);
}

void JsonReport::info_written(std::uint64_t bytes) {
  written_.push_back({FileRole::Info, *outputs_.info, bytes});
}

void JsonReport::glb_written(const std::string& name, std::uint64_t bytes, const MeshCounts&) {
  written_.push_back({FileRole::Glb, name, bytes});
}

void JsonReport::preview_written(const std::string& name, std::uint64_t bytes, std::uint32_t) {
  written_.push_back({FileRole::Png, name, bytes});
}

std::string JsonReport::show(const Message& message) {
  std::string text = render_message(message);
  Json line = event(message.form->severity == Severity::Error ? "error" : "warning", model_);
  line["kind"] = message.form->name;
  line["text"] = text;
  Json values = Json::object();
  for (const MessageValue& value : message.values) {
    values[std::string(value.key)] = value.is_number ? Json(value.number) : Json(value.text);
  }
  line["values"] = std::move(values);
  messages_.push_back(line_of(line));
  return text;
}

void JsonReport::end(bool kept, const std::vector<std::string>& not_placed) {
  for (const Written& file : written_) {
    const std::string name = last_component(file.path);
    bool placed = kept;
    for (const std::string& lost : not_placed) placed = placed && last_component(lost) != name;
    if (!placed) continue;
    Json line = event("file", model_);
    line["role"] = role_name(file.role);
    put_path(line, "path", file.path);
    line["bytes"] = file.bytes;
    emit(sink_, line);
  }
  if (mesh_) {
    Json line = event("mesh", model_);
    line["vertices"] = mesh_->vertices;
    line["triangles"] = mesh_->triangles;
    line["bodies"] = mesh_->bodies;
    emit(sink_, line);
  }
  for (const std::string& message : messages_) sink_.take(message);
  Json line = event("end", model_);
  line["status"] = had_error() ? "error" : "ok";
  emit(sink_, line);
}

std::string json_summary_line(std::size_t models, std::size_t failed) {
  Json line;
  line["event"] = "summary";
  line["models"] = models;
  line["failed"] = failed;
  return line_of(line);
}

}  // namespace model_unpack
