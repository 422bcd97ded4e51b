// Keys in, outcomes out: what the key loop sees for the bytes a terminal sends.
#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace model_unpack {
namespace {

// Decodes a whole byte string as the terminal layer would, with no more bytes to come: one
// character per key, '1' for the name key, 'E' for Esc, '.' for a key the loop ignores.
std::string outcomes_of(const std::string& text) {
  std::string outcomes;
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(rest.data());
    KeyDecode decoded = decode_key({bytes, rest.size()}, true);
    if (decoded.outcome == KeyOutcome::NeedMore) decoded = decode_key({bytes, rest.size()}, false);
    EXPECT_GT(decoded.consumed, 0u);
    switch (decoded.outcome) {
      case KeyOutcome::NameKey:
        outcomes += '1';
        break;
      case KeyOutcome::Esc:
        outcomes += 'E';
        break;
      case KeyOutcome::Ignored:
        outcomes += '.';
        break;
      case KeyOutcome::NeedMore:
        ADD_FAILURE() << "still waiting after the wait ran out";
        return outcomes;
    }
    rest.remove_prefix(decoded.consumed);
  }
  return outcomes;
}

TEST(KeyDecoder, PlainBytes) {
  EXPECT_EQ(outcomes_of("1a\xff"
                        "2"),
            "1...");
  EXPECT_EQ(outcomes_of(std::string("\0"
                                    "1",
                                    2)),
            ".1");
}

TEST(KeyDecoder, LoneEscIsEscOnlyWhenNothingFollows) {
  const unsigned char esc[] = {0x1B};
  EXPECT_EQ(decode_key(esc, true).outcome, KeyOutcome::NeedMore);
  EXPECT_EQ(outcomes_of("\x1b"), "E");
  EXPECT_EQ(outcomes_of("\x1b\x1b"), "EE");
}

TEST(KeyDecoder, SpecialKeysAreOneIgnoredKeyEach) {
  EXPECT_EQ(outcomes_of("\x1b[A\x1b[B\x1bOD\x1bOC\x1b[H\x1bOF"), "......");
  EXPECT_EQ(outcomes_of("\x1b[2~\x1b[3~\x1b[5~\x1b[6~\x1b[1~\x1b[4~"), "......");
  EXPECT_EQ(outcomes_of("\x1bOP\x1b[11~\x1b[15~\x1b[21~\x1b[24~\x1b[[A\x1b[[E"), ".......");
}

TEST(KeyDecoder, SequencesNeverLeakTheirDigitsAsKeys) {
  EXPECT_EQ(outcomes_of("\x1b[15~1"), ".1");  // F5, then '1'
  EXPECT_EQ(outcomes_of("\x1b[1;5A"
                        "1"),
            ".1");  // Ctrl+Up
  EXPECT_EQ(outcomes_of("\x1b[15;2~"
                        "1"),
            ".1");  // Shift+F5
  EXPECT_EQ(outcomes_of("\x1b"
                        "1"
                        "x"),
            "..");                                         // Alt+1 must not ask for a name
  EXPECT_EQ(outcomes_of("\x1b[99~\x1b[Z\x1bO5P"), "...");  // unknown, Shift+Tab, old Ctrl+F1
  EXPECT_EQ(outcomes_of("\x1b[ 1"), ".");  // a stray byte after an intermediate ends the sequence
  EXPECT_EQ(outcomes_of("\x1b["), ".");    // cut short: Alt+[
}

TEST(KeyDecoder, SequenceInterruptedByEscGivesWayToTheNextKey) {
  EXPECT_EQ(outcomes_of("\x1b[1\x1b[A"), "..");
  EXPECT_EQ(outcomes_of("\x1b[1\x1b"), ".E");
}

TEST(KeyDecoder, WaitsForTheRestOfASequence) {
  const std::string partial = "\x1b[1";
  const auto* bytes = reinterpret_cast<const unsigned char*>(partial.data());
  EXPECT_EQ(decode_key({bytes, partial.size()}, true).outcome, KeyOutcome::NeedMore);
  const KeyDecode timed_out = decode_key({bytes, partial.size()}, false);
  EXPECT_EQ(timed_out.outcome, KeyOutcome::Ignored);
  EXPECT_EQ(timed_out.consumed, 3u);
}

}  // namespace
}  // namespace model_unpack
