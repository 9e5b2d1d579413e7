// The argument list, the option lookup over it, and the Windows command-line
// splitter that fills it.
// SPDX-License-Identifier: MIT
#include "platform/platform.h"

namespace platform {

namespace {

std::vector<std::u16string>& ArgumentStore() {
  static std::vector<std::u16string> arguments;
  return arguments;
}

}  // namespace

const std::vector<std::u16string>& Arguments() { return ArgumentStore(); }

void SetArguments(std::vector<std::u16string> arguments) { ArgumentStore() = std::move(arguments); }

std::u16string ArgumentAt(std::uint32_t i) {
  const auto& args = Arguments();
  return i >= 1 && i <= args.size() ? args[i - 1] : std::u16string();
}

void FindOptionValue(const std::u16string& token, std::u16string& target) {
  const auto& args = Arguments();
  std::u16string value;
  for (std::uint32_t i = 1; i <= args.size(); ++i) {
    if (args[i - 1] == token) {
      value = ArgumentAt(i + 1);
      break;
    }
  }
  if (!value.empty()) target = value;
}

std::vector<std::u16string> SplitCommandLine(const std::u16string& commandLine) {
  std::vector<std::u16string> words;
  std::u16string word;
  bool quoted = false;
  for (char16_t c : commandLine) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c < 33 && !quoted) {
      // An empty quoted pair leaves the word empty: it never becomes an
      // argument of its own.
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  if (!words.empty()) words.erase(words.begin());  // the program as invoked
  return words;
}

}  // namespace platform
