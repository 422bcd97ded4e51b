// The batch tool's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/preview.h"

namespace model_unpack {

struct BatchOptions {
  std::vector<std::string> models;
  std::optional<std::string> exports_dir;  // -C: export files go to DIR/STEM/
  unsigned jobs = 1;                       // jobs at once; already resolved for -j 0
  bool quiet = false;
  bool glb = false;
  bool png = false;
  std::uint32_t png_size = kPictureSize;
  bool no_job = false;  // only the glb and png
  bool list = false;    // only each model's header and directory: nothing is written
  bool json = false;    // JSON Lines on standard output instead of the job's lines
  bool plan = false;    // only say, as JSON, which words are paths and what each model writes
};

// A word of the command line that holds a path, from byte `at` on (after "-C" or
// "--exports-dir=" in the same word); `word` counts the words after the program's name.
struct PathWord {
  enum class Role { Model, ExportsFolder };
  std::size_t word;
  std::size_t at;
  Role role;
};

struct ParsedCommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  BatchOptions options;
  std::string usage_error;           // the one-line reason, for UsageError
  std::vector<PathWord> path_words;  // in the order of the words
};

// GNU-style parsing (getopt_long; "--" ends the options) and the checks that must pass before
// any job runs. `cores` is what "-j 0" means.
ParsedCommandLine parse_command_line(int argc, char** argv, unsigned cores);

// The help: what --help prints.
std::string batch_usage();

// User text quoted in a message: control characters are written as \xNN, so the message stays
// one line and cannot drive the terminal.
std::string quoted_text(std::string_view text);

}  // namespace model_unpack
