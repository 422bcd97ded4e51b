// For the Windows tests (run under Wine): puts key presses into this program's console, then
// starts a program on the same console with its standard output going to a file, so that it
// reads the keys as a person's typing. Ends with the program's exit status.
//
// Usage: inject-keys KEYS OUTPUT PROGRAM [ARGUMENT]...
//   KEYS: characters as they are ("\r" is Enter, "\x1b" Esc, written with C escapes by the
//   caller's shell), and {up}, {down}, {left}, {right}, {f1} to {f12} for keys without a
//   character.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Key {
  WORD virtual_key;
  wchar_t character;
};

// "{f5}" and the like: the key and the length of its name, or nothing.
bool named_key(const std::wstring& keys, std::size_t at, Key& key, std::size_t& length) {
  static const struct {
    const wchar_t* name;
    WORD virtual_key;
  } kNames[] = {{L"{up}", VK_UP},       {L"{down}", VK_DOWN}, {L"{left}", VK_LEFT},
                {L"{right}", VK_RIGHT}, {L"{f1}", VK_F1},     {L"{f2}", VK_F2},
                {L"{f5}", VK_F5},       {L"{f10}", VK_F10},   {L"{f12}", VK_F12}};
  for (const auto& entry : kNames) {
    const std::wstring name = entry.name;
    if (keys.compare(at, name.size(), name) == 0) {
      key = {entry.virtual_key, 0};
      length = name.size();
      return true;
    }
  }
  return false;
}

std::vector<Key> parse_keys(const std::wstring& keys) {
  std::vector<Key> result;
  for (std::size_t at = 0; at < keys.size();) {
    Key key{};
    std::size_t length = 1;
    if (!named_key(keys, at, key, length)) {
      const wchar_t c = keys[at];
      const SHORT scan = VkKeyScanW(c);
      key = {static_cast<WORD>(scan == -1 ? 0 : (scan & 0xFF)), c};
      if (c == L'\r') key.virtual_key = VK_RETURN;
      if (c == 0x1B) key.virtual_key = VK_ESCAPE;
    }
    result.push_back(key);
    at += length;
  }
  return result;
}

bool put_keys(HANDLE input, const std::vector<Key>& keys) {
  std::vector<INPUT_RECORD> records;
  for (const Key& key : keys) {
    for (const BOOL down : {TRUE, FALSE}) {
      INPUT_RECORD record{};
      record.EventType = KEY_EVENT;
      record.Event.KeyEvent.bKeyDown = down;
      record.Event.KeyEvent.wRepeatCount = 1;
      record.Event.KeyEvent.wVirtualKeyCode = key.virtual_key;
      record.Event.KeyEvent.wVirtualScanCode =
          static_cast<WORD>(MapVirtualKeyW(key.virtual_key, MAPVK_VK_TO_VSC));
      record.Event.KeyEvent.uChar.UnicodeChar = key.character;
      records.push_back(record);
    }
  }
  DWORD written = 0;
  return WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written) &&
         written == records.size();
}

std::wstring quoted(const std::wstring& word) {
  return L"\"" + word + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: inject-keys KEYS OUTPUT PROGRAM [ARGUMENT]...\n", stderr);
    return 2;
  }
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE || !put_keys(input, parse_keys(argv[1]))) {
    std::fputs("inject-keys: no console to put keys into\n", stderr);
    return 3;
  }
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  const HANDLE output = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return 4;
  std::wstring command = quoted(argv[3]);
  for (int i = 4; i < argc; ++i) command += L" " + quoted(argv[i]);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 5;
  }
  CloseHandle(output);
  WaitForSingleObject(process.hProcess, 30000);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  return static_cast<int>(status);
}
