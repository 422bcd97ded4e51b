#include "job/console_report.h"

#include <cstdio>

#include "io/console_text.h"
#include "mesh/mesh.h"

namespace model_unpack {

namespace {

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

}  // namespace

void ConsoleReport::job_starting(const JobNames& names) {
  say("Input file: " + shown_name(console_, names.model) + "   \n");
  say("output file: " + shown_name(console_, names.info) + "   \n");
}

void ConsoleReport::listing_starting(const std::string& model) {
  say("Input file: " + shown_name(console_, model) + "   \n");
}

void ConsoleReport::header(const HeaderBuffer& header, std::size_t) {
  say("Header of file: " + shown_text(console_, std::string_view(header.data())) + "\n\n");
}

void ConsoleReport::directory_entry(const BlockRecord& entry, const EntryFacts&) {
  say(shown_text(console_, entry.name()) + "   " + hex(entry.block_offset) + "\n");
}

void ConsoleReport::export_starting(const BlockKind& kind) {
  say(kind.start_line);
}

void ConsoleReport::export_written(const BlockKind& kind, std::uint64_t) {
  if (!kind.completion_line.empty()) say(kind.completion_line);
}

void ConsoleReport::info_starting() {
  say("Creating info file\n");
}

void ConsoleReport::info_written(std::uint64_t) {
  say("Info file created\n");
}

void ConsoleReport::glb_written(const std::string& name, std::uint64_t, const MeshCounts& counts) {
  say("Mesh written: " + shown_name(console_, name) + " (" +
      count_of(counts.vertices, "vertex", "vertices") + ", " +
      count_of(counts.triangles, "triangle", "triangles") + ", " +
      count_of(counts.bodies, "collision body", "collision bodies") + ")\n");
}

void ConsoleReport::preview_written(const std::string& name, std::uint64_t, std::uint32_t size) {
  say("Preview written: " + shown_name(console_, name) + " (" + std::to_string(size) + " x " +
      std::to_string(size) + " pixels)\n");
}

std::string ConsoleReport::show(const Message& message) {
  Message shown = message;
  for (MessageValue& value : shown.values) {
    if (value.is_name) value.text = shown_name(console_, value.text);
  }
  std::string line = render_message(shown);
  say(line + "\n");
  return line;
}

}  // namespace model_unpack
