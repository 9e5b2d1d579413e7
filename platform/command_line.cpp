// The argument list, and the Windows command-line splitter that fills it.
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
