#include "batch/batch_options.h"

#include <getopt.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "io/command_line.h"
#include "io/console_text.h"
#include "job/file_names.h"
#include "mesh/preview.h"

namespace model_unpack {

// User text quoted in a reason: control characters are written as \xNN, so the reason stays
// one line and cannot drive the terminal.
std::string quoted_text(std::string_view text) {
  // Built piece by piece: GCC 12 warns wrongly (-Wrestrict) about "'" + text + "'".
  std::string quoted(1, '\'');
  quoted += escaped_text(text);
  quoted += '\'';
  return quoted;
}

namespace {

enum LongOnly { kVersion = 256, kGlb, kPng, kPngSize, kNoJob, kList, kJson, kPlan };

// Every option, stated once: getopt's table and the help are made from this list.
struct OptionRow {
  const char* name;
  int argument;       // no_argument or required_argument
  int id;             // its short letter, or a LongOnly value
  const char* value;  // the value's name in the help, for an option that takes one
  std::string help;   // its lines in the help, without their indent
};

const std::vector<OptionRow>& option_rows() {
  static const std::vector<OptionRow> rows{
      {"exports-dir", required_argument, 'C', "DIR",
       "write the export files of each model into DIR/STEM/,\n"
       "STEM being the model file's name up to its first dot\n"
       "(default: the current directory)"},
      {"jobs", required_argument, 'j', "N",
       "run up to N jobs at once (default 1; 0: one per core);\n"
       "with several models N > 1 needs --exports-dir"},
      {"quiet", no_argument, 'q', nullptr, "print no job lines"},
      {"glb", no_argument, kGlb, nullptr,
       "also write the mesh as binary glTF 2.0 (NAME.glb beside\nthe info file)"},
      {"png", no_argument, kPng, nullptr,
       "also write a preview picture (NAME.png beside the info file)"},
      {"png-size", required_argument, kPngSize, "N",
       "the picture's width and height, " + std::to_string(kSmallestPicture) + " to " +
           std::to_string(kLargestPicture) + " (default " + std::to_string(kPictureSize) + ")"},
      {"no-job", no_argument, kNoJob, nullptr,
       "write only the glb and png: no export files, no info file"},
      {"list", no_argument, kList, nullptr,
       "only list each model's header and directory; write nothing"},
      {"json", no_argument, kJson, nullptr,
       "print one JSON object a line (JSON Lines) instead of the\n"
       "job's lines: what each model holds and what was written"},
      {"plan", no_argument, kPlan, nullptr,
       "only print, as JSON Lines, which words are paths and the\n"
       "files each model's run would write; touch no file"},
      {"help", no_argument, 'h', nullptr, "display this help and exit"},
      {"version", no_argument, kVersion, nullptr, "output version information and exit"},
  };
  return rows;
}

std::vector<option> long_options() {
  std::vector<option> options;
  for (const OptionRow& row : option_rows()) {
    options.push_back({row.name, row.argument, nullptr, row.id});
  }
  options.push_back({nullptr, 0, nullptr, 0});
  return options;
}

// getopt's short options: ':' first (a missing value is told apart), then each letter.
std::string short_options() {
  std::string letters = ":";
  for (const OptionRow& row : option_rows()) {
    if (row.id >= kVersion) continue;
    letters += static_cast<char>(row.id);
    if (row.argument == required_argument) letters += ':';
  }
  return letters;
}

// One option's lines of the help: "  -C, --exports-dir=DIR  write ...", the help in a column.
std::string help_lines(const OptionRow& row) {
  constexpr std::size_t kColumn = 25;
  std::string line = row.id < kVersion ? std::string("  -") + static_cast<char>(row.id) + ", "
                                       : std::string(6, ' ');
  line += std::string("--") + row.name + (row.value ? std::string("=") + row.value : "");
  line.append(line.size() + 2 > kColumn ? 2 : kColumn - line.size(), ' ');
  for (const char c : row.help) {
    line += c;
    if (c == '\n') line.append(kColumn, ' ');
  }
  return line + "\n";
}

ParsedCommandLine usage_error(std::string reason) {
  ParsedCommandLine parsed;
  parsed.action = ParsedCommandLine::Action::UsageError;
  parsed.usage_error = std::move(reason);
  return parsed;
}

// A decimal number from `low` to `high` (at most 4096), digits only.
std::optional<unsigned> parse_number(std::string_view text, unsigned low, unsigned high) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The reason getopt_long stopped at argv[optind - 1], in the words GNU tools use.
std::string option_error(int argc, char** argv, int failed) {
  const int index = optind - 1;
  const std::string_view arg = index > 0 && index < argc ? argv[index] : "";
  if (failed == ':') {
    if (arg.starts_with("--")) {
      return "option " + quoted_text(arg.substr(0, arg.find('='))) + " requires an argument";
    }
    return "option requires an argument -- " +
           quoted_text(std::string(1, static_cast<char>(optopt)));
  }
  if (arg.starts_with("--")) return "unrecognized option " + quoted_text(arg);
  if (optopt != 0)
    return "invalid option -- " + quoted_text(std::string(1, static_cast<char>(optopt)));
  return "unrecognized option " + quoted_text(arg);
}

// The word of `words` (the command line before getopt reorders it) that holds `text`.
PathWord path_word(const std::vector<const char*>& words, const char* text, PathWord::Role role) {
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::size_t length = std::strlen(words[i]);
    if (text >= words[i] && text <= words[i] + length) {
      return {i - 1, static_cast<std::size_t>(text - words[i]), role};
    }
  }
  return {0, 0, role};
}

}  // namespace

std::string batch_usage() {
  std::string usage =
      "Usage: model-unpack-batch [OPTION]... MODEL...\n"
      "Take apart each MODEL file: list its header and block directory, copy every known\n"
      "block into an export file of its own and write an info file beside the model.\n"
      "A MODEL whose last component has no dot gets the extension .zmdl.\n"
      "\n";
  for (const OptionRow& row : option_rows()) usage += help_lines(row);
  return usage +
         "\n"
         "Exit status: 0 if every job ran without an error line, 1 if some job printed one,\n"
         "2 on a usage error (nothing is then run or created).\n";
}

ParsedCommandLine parse_command_line(int argc, char** argv, unsigned cores) {
  ParsedCommandLine parsed;
  BatchOptions& options = parsed.options;
  const std::vector<const char*> words(argv, argv + argc);
  bool help = false;
  bool version = false;
  opterr = 0;
  optind = 0;  // a fresh scan, also when called more than once
  const std::string letters = short_options();
  const std::vector<option> long_ones = long_options();
  for (;;) {
    const int option = getopt_long(argc, argv, letters.c_str(), long_ones.data(), nullptr);
    if (option == -1) break;
    switch (option) {
      case 'C':
        if (*optarg == '\0') return usage_error("the exports folder must not be empty");
        options.exports_dir = optarg;
        parsed.path_words.push_back(path_word(words, optarg, PathWord::Role::ExportsFolder));
        break;
      case 'j': {
        const auto jobs = parse_number(optarg, 0, 4096);
        if (!jobs) return usage_error("invalid number of jobs: " + quoted_text(optarg));
        options.jobs = *jobs == 0 ? std::max(cores, 1u) : *jobs;
        break;
      }
      case 'q':
        options.quiet = true;
        break;
      case 'h':
        help = true;
        break;
      case kVersion:
        version = true;
        break;
      case kGlb:
        options.glb = true;
        break;
      case kPng:
        options.png = true;
        break;
      case kPngSize: {
        const auto size = parse_number(optarg, kSmallestPicture, kLargestPicture);
        if (!size) {
          return usage_error("invalid picture size: " + quoted_text(optarg) + " (" +
                             std::to_string(kSmallestPicture) + " to " +
                             std::to_string(kLargestPicture) + ")");
        }
        options.png_size = *size;
        break;
      }
      case kNoJob:
        options.no_job = true;
        break;
      case kList:
        options.list = true;
        break;
      case kJson:
        options.json = true;
        break;
      case kPlan:
        options.plan = true;
        break;
      default:
        return usage_error(option_error(argc, argv, option));
    }
  }
  if (help) {
    parsed.action = ParsedCommandLine::Action::Help;
    return parsed;
  }
  if (version) {
    parsed.action = ParsedCommandLine::Action::Version;
    return parsed;
  }
  for (int i = optind; i < argc; ++i) {
    options.models.emplace_back(argv[i]);
    parsed.path_words.push_back(path_word(words, argv[i], PathWord::Role::Model));
  }
  std::sort(parsed.path_words.begin(), parsed.path_words.end(),
            [](const PathWord& a, const PathWord& b) { return a.word < b.word; });
  options.models = expand_wildcards(std::move(options.models));
  if (options.models.empty()) return usage_error("no model file named");
  if (options.list && (options.exports_dir || options.glb || options.png || options.no_job)) {
    return usage_error(
        "--list writes nothing: it takes no --exports-dir, --glb, --png or --no-job");
  }
  if (options.no_job && !options.glb && !options.png) {
    return usage_error("--no-job needs --glb or --png");
  }

  if (options.jobs > 1 && options.models.size() > 1 && !options.exports_dir && !options.no_job &&
      !options.list) {
    return usage_error("--jobs above 1 needs --exports-dir, so jobs do not share export files");
  }
  if (options.exports_dir) {
    std::set<std::string_view> stems;
    for (const std::string& model : options.models) {
      const std::string_view stem = path_stem(model);
      if (stem.empty())
        return usage_error("no folder name before the first dot of " + quoted_text(model));
      if (!stems.insert(stem).second) {
        return usage_error("two models share the exports folder " + quoted_text(stem));
      }
    }
  }
  return parsed;
}

}  // namespace model_unpack
