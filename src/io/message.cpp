#include "io/message.h"

namespace model_unpack {

namespace {

const MessageValue* value_of(const Message& message, std::string_view key) {
  for (const MessageValue& value : message.values) {
    if (value.key == key) return &value;
  }
  return nullptr;
}

// One place's text; `place` is what stands between the braces.
std::string render_place(const Message& message, std::string_view place) {
  const std::size_t mark = place.find_first_of(":?");
  const MessageValue* value = value_of(message, place.substr(0, mark));
  if (value == nullptr) return "";
  if (mark == std::string_view::npos) return value->text;
  const std::string_view words = place.substr(mark + 1);
  const std::size_t bar = words.find('|');
  const std::string_view word = value->number == 1 ? words.substr(0, bar) : words.substr(bar + 1);
  if (place[mark] == '?') return std::string(word);
  return value->text + " " + std::string(word);
}

}  // namespace

std::string render_message(const Message& message) {
  const std::string_view text = message.form->text;
  std::string line;
  std::size_t at = 0;
  for (std::size_t open; (open = text.find('{', at)) != std::string_view::npos;) {
    const std::size_t close = text.find('}', open);
    line.append(text.substr(at, open - at));
    line += render_place(message, text.substr(open + 1, close - open - 1));
    at = close + 1;
  }
  line.append(text.substr(at));
  return line;
}

std::vector<std::string_view> message_keys(const MessageForm& form) {
  std::vector<std::string_view> keys;
  const std::string_view text = form.text;
  for (std::size_t open = 0; (open = text.find('{', open)) != std::string_view::npos; ++open) {
    const std::string_view place = text.substr(open + 1, text.find('}', open) - open - 1);
    const std::string_view key = place.substr(0, place.find_first_of(":?"));
    bool seen = false;
    for (const std::string_view known : keys) seen = seen || known == key;
    if (!seen) keys.push_back(key);
  }
  return keys;
}

}  // namespace model_unpack
