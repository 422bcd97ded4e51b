#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace model_unpack {
namespace {

// Decodes a whole byte string as the terminal layer would, with no more bytes to come.
std::vector<int> codes_of(const std::string& text) {
  std::vector<int> codes;
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(rest.data());
    KeyDecode decoded = decode_key({bytes, rest.size()}, true);
    if (decoded.status == KeyDecode::Status::NeedMore)
      decoded = decode_key({bytes, rest.size()}, false);
    EXPECT_GT(decoded.consumed, 0u);
    for (std::size_t i = 0; i < decoded.code_count; ++i) codes.push_back(decoded.codes[i]);
    rest.remove_prefix(decoded.consumed);
  }
  return codes;
}

using Codes = std::vector<int>;

TEST(KeyDecoder, PlainBytesAreTheirOwnCodes) {
  EXPECT_EQ(codes_of("1a\xff"), (Codes{49, 'a', 255}));
}

TEST(KeyDecoder, LoneEscIsEscOnlyWhenNothingFollows) {
  const unsigned char esc[] = {0x1B};
  EXPECT_EQ(decode_key(esc, true).status, KeyDecode::Status::NeedMore);
  EXPECT_EQ(codes_of("\x1b"), (Codes{27}));
  EXPECT_EQ(codes_of("\x1b\x1b"), (Codes{27, 27}));
}

TEST(KeyDecoder, CursorKeysInCsiAndSs3Spellings) {
  EXPECT_EQ(codes_of("\x1b[A\x1b[B\x1b[D\x1b[C"), (Codes{224, 72, 224, 80, 224, 75, 224, 77}));
  EXPECT_EQ(codes_of("\x1bOA\x1bOB\x1bOD\x1bOC"), (Codes{224, 72, 224, 80, 224, 75, 224, 77}));
  EXPECT_EQ(codes_of("\x1b[H\x1b[F\x1bOH\x1bOF"), (Codes{224, 71, 224, 79, 224, 71, 224, 79}));
  EXPECT_EQ(codes_of("\x1b[1~\x1b[4~\x1b[7~\x1b[8~"), (Codes{224, 71, 224, 79, 224, 71, 224, 79}));
  EXPECT_EQ(codes_of("\x1b[2~\x1b[3~\x1b[5~\x1b[6~"), (Codes{224, 82, 224, 83, 224, 73, 224, 81}));
}

TEST(KeyDecoder, FunctionKeysInEverySpelling) {
  EXPECT_EQ(codes_of("\x1bOP\x1bOQ\x1bOR\x1bOS"), (Codes{0, 59, 0, 60, 0, 61, 0, 62}));
  EXPECT_EQ(codes_of("\x1b[11~\x1b[12~\x1b[13~\x1b[14~\x1b[15~"),
            (Codes{0, 59, 0, 60, 0, 61, 0, 62, 0, 63}));
  EXPECT_EQ(codes_of("\x1b[[A\x1b[[E"), (Codes{0, 59, 0, 63}));
  EXPECT_EQ(codes_of("\x1b[17~\x1b[18~\x1b[19~\x1b[20~\x1b[21~"),
            (Codes{0, 64, 0, 65, 0, 66, 0, 67, 0, 68}));
  EXPECT_EQ(codes_of("\x1b[23~\x1b[24~"), (Codes{224, 133, 224, 134}));
}

TEST(KeyDecoder, F5NeverLeaksItsDigitsAsKeys) {
  EXPECT_EQ(codes_of("\x1b[15~1"), (Codes{0, 63, 49}));
}

TEST(KeyDecoder, UnknownSequencesAreConsumedWhole) {
  EXPECT_EQ(codes_of("\x1b[1;5A"
                     "x"),
            (Codes{'x'}));  // Ctrl+Up
  EXPECT_EQ(codes_of("\x1b[15;2~"
                     "x"),
            (Codes{'x'}));  // Shift+F5
  EXPECT_EQ(codes_of("\x1b"
                     "1"
                     "x"),
            (Codes{'x'}));                                  // Alt+1 must not ask for a name
  EXPECT_EQ(codes_of("\x1b[99~\x1b[Z\x1bO5P"), (Codes{}));  // unknown, Shift+Tab, old Ctrl+F1
  EXPECT_EQ(codes_of("\x1b["), (Codes{}));                  // cut short: Alt+[
}

TEST(KeyDecoder, SequenceInterruptedByEscGivesWayToTheNextKey) {
  EXPECT_EQ(codes_of("\x1b[1\x1b[A"), (Codes{224, 72}));
}

TEST(KeyDecoder, WaitsForTheRestOfASequence) {
  const std::string partial = "\x1b[1";
  const auto* bytes = reinterpret_cast<const unsigned char*>(partial.data());
  EXPECT_EQ(decode_key({bytes, partial.size()}, true).status, KeyDecode::Status::NeedMore);
  const KeyDecode timed_out = decode_key({bytes, partial.size()}, false);
  EXPECT_EQ(timed_out.status, KeyDecode::Status::Dropped);
  EXPECT_EQ(timed_out.consumed, 3u);
}

}  // namespace
}  // namespace model_unpack
