// The catalogue of messages against the documents: docs/messages.md is made from it (set
// MODEL_UNPACK_WRITE_DOCS=1 to write it again), and every warning or error line the other
// documents quote is one of its forms.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_messages.h"
#include "console/console_loop.h"
#include "export/block_export.h"
#include "job/job_report.h"
#include "mesh/mesh.h"
#include "report/info_writer.h"

namespace model_unpack {
namespace {

struct Section {
  const char* title;
  std::vector<MessageForm> forms;
};

std::vector<Section> catalogue() {
  return {
      {"The job", {kJobMessages.begin(), kJobMessages.end()}},
      {"The export files", {kExportMessages.begin(), kExportMessages.end()}},
      {"The info file", {kWritingInfo}},
      {"The glb and the picture: what the mesh leaves out",
       {kMeshMessages.begin(), kMeshMessages.end()}},
      {"The batch tool, of a model", {kBatchMessages.begin(), kBatchMessages.end()}},
      {"The batch tool, of the whole run (after `model-unpack-batch: `, on standard error)",
       {kRunMessages.begin(), kRunMessages.end()}},
      {"The interactive tool", {kConsoleMessages.begin(), kConsoleMessages.end()}},
  };
}

std::string read_document(const std::string& name) {
  std::ifstream in(std::string(MODEL_UNPACK_SOURCE_DIR) + "/docs/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string messages_document() {
  std::string text =
      "# Every warning and error, with its kind\n\n"
      "Each line below is the exact text the tools print, without its line end; `{name}` stands "
      "for a value, `{name:one|many}` for a number and the word for its count, `{name?one|many}` "
      "for the word alone. The kind before it is what `model-unpack-batch --json` gives as "
      "`kind`, with the values under `values` "
      "([batch.md](batch.md#json-lines-for-scripts---json)). "
      "This file is made from the tools' own tables; a test keeps the two the same.\n";
  for (const Section& section : catalogue()) {
    text += "\n## " + std::string(section.title) + "\n\n";
    for (const MessageForm& form : section.forms) {
      text += "- `" + std::string(form.name) + "` (" +
              (form.severity == Severity::Error ? "error" : "warning") + "): `" +
              std::string(form.text) + "`\n";
    }
  }
  return text;
}

TEST(Messages, TheDocumentIsMadeFromTheCatalogue) {
  const std::string expected = messages_document();
  if (std::getenv("MODEL_UNPACK_WRITE_DOCS") != nullptr) {
    std::ofstream(std::string(MODEL_UNPACK_SOURCE_DIR) + "/docs/messages.md") << expected;
  }
  EXPECT_EQ(read_document("messages.md"), expected);
  // Each form's places name the values its callers give; a kind keeps one severity.
  for (const Section& section : catalogue()) {
    for (const MessageForm& form : section.forms) {
      EXPECT_TRUE(std::regex_match(std::string(form.name), std::regex("[a-z][a-z0-9_]*")));
      for (const Section& other : catalogue()) {
        for (const MessageForm& same : other.forms) {
          if (same.name == form.name) {
            EXPECT_EQ(same.severity, form.severity) << form.name;
          }
        }
      }
    }
  }
}

// A form as a pattern: its places match any text.
std::regex pattern_of(const MessageForm& form) {
  static const std::regex special(R"([.^$|()\[\]*+?\\])");
  std::string text = std::regex_replace(std::string(form.text), special, R"(\$&)");
  text = std::regex_replace(text, std::regex(R"(\{[^}]*\})"), ".+");
  return std::regex(text);
}

TEST(Messages, EveryLineTheDocumentsQuoteIsInTheCatalogue) {
  const std::regex quoted(R"(`((Error|Warning|File name too long|model-unpack-batch: )[^`]*)`)");
  int checked = 0;
  for (const char* document : {"interactive.md", "batch.md", "outputs.md"}) {
    std::string text = read_document(document);
    // A quote may run over a line break.
    text = std::regex_replace(text, std::regex(R"(\n *)"), " ");
    for (std::sregex_iterator it(text.begin(), text.end(), quoted), end; it != end; ++it) {
      std::string line = (*it)[1];
      if (line.ends_with("...")) continue;
      // A line of the run, or with -q a model's first error, after the tool's name.
      std::smatch run;
      const std::string quoted_line = line;
      if (std::regex_match(quoted_line, run,
                           std::regex("model-unpack-batch: (?:[^: ]+: (Error.*)|(.*))"))) {
        line = run[1].matched ? run[1] : run[2];
      } else if (line.find(" :(") == std::string::npos && !line.starts_with("Warning")) {
        continue;
      }
      bool found = false;
      for (const Section& section : catalogue()) {
        for (const MessageForm& form : section.forms) {
          found = found || std::regex_match(line, pattern_of(form));
        }
      }
      EXPECT_TRUE(found) << document << " quotes a line the tools never print: " << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10);
}

}  // namespace
}  // namespace model_unpack
