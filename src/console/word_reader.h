#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace model_unpack {

// Reads one whitespace-delimited word the way "%s" does: leading whitespace is skipped and the
// whitespace after the word stays unread. The word has no length limit. An ended input gives an
// empty word; with `input_can_resume` (a terminal, where Ctrl-D ends one read only) the
// end-of-input mark is cleared so the next read waits for new typing.
std::string read_word(std::FILE* in, bool input_can_resume);

// The first word of `line` as "%s" reads it, removed from `line` with the blanks before it;
// none when `line` holds only blanks (it is then emptied).
std::optional<std::string> take_word(std::string& line);

}  // namespace model_unpack
