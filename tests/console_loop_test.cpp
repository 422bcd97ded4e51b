// The key loop against a scripted keyboard, and the "%s" word read.
#include "console/console_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "console/word_reader.h"

namespace model_unpack {
namespace {

class ScriptedConsole : public ConsolePlatform {
 public:
  ScriptedConsole(std::vector<int> keys, std::deque<std::string> words)
      : keys_(keys.begin(), keys.end()), words_(std::move(words)) {}

  void enter_keyboard_mode() override { events.push_back("keys"); }
  void leave_keyboard_mode() override { events.push_back("line"); }
  // Scripted as the bytes of single keys: '1', 27 (Esc), anything else.
  std::optional<KeyOutcome> read_key() override {
    if (keys_.empty()) return std::nullopt;
    const int key = keys_.front();
    keys_.pop_front();
    return key == '1' ? KeyOutcome::NameKey : key == 27 ? KeyOutcome::Esc : KeyOutcome::Ignored;
  }
  std::string read_word() override {
    events.push_back("word");
    if (words_.empty()) return "";
    std::string word = words_.front();
    words_.pop_front();
    return word;
  }

  std::vector<std::string> events;

 private:
  std::deque<int> keys_;
  std::deque<std::string> words_;
};

struct LoopRun {
  int status;
  std::string printed;
  std::vector<std::string> names;
};

LoopRun run(ScriptedConsole& console) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  LoopRun result{};
  result.status = run_console_loop(console, out, [&](NameBuffer& name) {
    result.names.emplace_back(name.data());
    console.events.push_back("job");
    std::strcpy(name.data() + std::strlen(name.data()), ".zmdl");  // as the job may
  });
  std::fclose(out);
  result.printed.assign(text, size);
  std::free(text);
  return result;
}

constexpr const char* kPrompt = "Esc to exit. Press '1' to enter file name\n";
constexpr const char* kAgain = "\nEsc to exit. Press '1' to enter file name\n";

TEST(ConsoleLoop, EscFirstPrintsOnlyThePromptAndExitsWithZero) {
  ScriptedConsole console({27}, {});
  const LoopRun result = run(console);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.printed, kPrompt);
  EXPECT_TRUE(result.names.empty());
}

TEST(ConsoleLoop, OtherKeysAndSpecialKeyCodesAreIgnored) {
  ScriptedConsole console({'a', '2', 224, 72, 0, 63, 13, 27, '1'}, {"never"});
  const LoopRun result = run(console);
  EXPECT_EQ(result.printed, kPrompt);
  EXPECT_TRUE(result.names.empty()) << "nothing after Esc is read";
}

TEST(ConsoleLoop, OneAsksForANameAndRunsTheJobOnIt) {
  ScriptedConsole console({'1', 27}, {"castle"});
  const LoopRun result = run(console);
  EXPECT_EQ(result.printed, std::string(kPrompt) + "Enter filename: " + kAgain);
  EXPECT_EQ(result.names, std::vector<std::string>{"castle"});
  // Line mode for typing the name, keyboard mode again before the job runs.
  EXPECT_EQ(console.events, (std::vector<std::string>{"keys", "line", "word", "keys", "job"}));
}

TEST(ConsoleLoop, BufferIsClearedBetweenJobs) {
  ScriptedConsole console({'1', '1', 27}, {"a_rather_long_name", "short"});
  EXPECT_EQ(run(console).names, (std::vector<std::string>{"a_rather_long_name", "short"}));
}

TEST(ConsoleLoop, EndedInputRunsTheJobWithAnEmptyName) {
  ScriptedConsole console({'1', 27}, {});
  EXPECT_EQ(run(console).names, std::vector<std::string>{""});
}

TEST(ConsoleLoop, TooLongNameIsRefusedWithoutRunningTheJob) {
  ScriptedConsole console({'1', '1', 27}, {std::string(251, 'x'), "next"});
  const LoopRun result = run(console);
  EXPECT_EQ(result.printed, std::string(kPrompt) + "Enter filename: File name too long :(\n" +
                                kAgain + "Enter filename: " + kAgain);
  EXPECT_EQ(result.names, std::vector<std::string>{"next"});
}

TEST(ConsoleLoop, LostKeyboardEndsTheLoop) {
  ScriptedConsole console({'x'}, {});
  EXPECT_EQ(run(console).status, 0);
}

std::FILE* input_of(std::string& text) {
  return fmemopen(text.data(), text.size(), "r");
}

TEST(WordReader, ReadsWhitespaceDelimitedWordsAndLeavesTheRestUnread) {
  std::string text = "  castle extra\n\t\r\nthird";
  std::FILE* in = input_of(text);
  EXPECT_EQ(read_word(in, false), "castle");
  EXPECT_EQ(std::fgetc(in), ' ') << "the delimiter stays in the stream";
  EXPECT_EQ(read_word(in, false), "extra");
  EXPECT_EQ(read_word(in, false), "third");
  EXPECT_EQ(read_word(in, false), "");
  EXPECT_TRUE(std::feof(in)) << "a file's end stays ended";
  std::fclose(in);
}

TEST(WordReader, EndOfInputOnATerminalEndsOnlyThatRead) {
  std::string text = "word";
  std::FILE* in = input_of(text);
  EXPECT_EQ(read_word(in, true), "word");
  EXPECT_FALSE(std::feof(in));
  std::fclose(in);
}

TEST(WordReader, HasNoLengthLimit) {
  std::string text = std::string(10000, 'w') + " x";
  std::FILE* in = input_of(text);
  EXPECT_EQ(read_word(in, false).size(), 10000u);
  std::fclose(in);
}

}  // namespace
}  // namespace model_unpack
