// A warning or an error as a value: its form (a row of a catalogue: a stable name, a severity
// and the exact text with named places) and the values that fill the places. The line a
// console shows is rendered from it, so no caller ever looks for a kind in printed text.
//
// A place is "{key}" (the value as it stands) or "{key:one|many}" (the number, a blank, then
// the word for its count); "{key?one|many}" gives the word alone.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace model_unpack {

enum class Severity { Warning, Error };

struct MessageForm {
  std::string_view name;  // stable, snake_case: what scripts match
  Severity severity;
  std::string_view text;  // the line, without its line end
  // An error after which the job's outputs are worthless (they are not kept where the caller
  // can keep the earlier ones instead).
  bool spoils_outputs = false;
};

struct MessageValue {
  std::string_view key;
  std::string text;  // a number's decimal digits, or the text
  bool is_number = false;
  std::uint64_t number = 0;
  bool is_name = false;  // a file name: a console masks it as it masks names

  MessageValue(std::string_view key, std::string text) : key(key), text(std::move(text)) {}
  MessageValue(std::string_view key, std::uint64_t number)
      : key(key), text(std::to_string(number)), is_number(true), number(number) {}
  static MessageValue name(std::string_view key, std::string text) {
    MessageValue value(key, std::move(text));
    value.is_name = true;
    return value;
  }
};

struct Message {
  const MessageForm* form;
  std::vector<MessageValue> values;

  Message(const MessageForm& form, std::initializer_list<MessageValue> values = {})
      : form(&form), values(values) {}
};

// The line `message` stands for, without its line end.
std::string render_message(const Message& message);

// The keys of a form's places, in the order they first appear.
std::vector<std::string_view> message_keys(const MessageForm& form);

// Where a job's warnings and errors go.
class MessageSink {
 public:
  virtual void message(const Message& message) = 0;

 protected:
  ~MessageSink() = default;
};

}  // namespace model_unpack
