// The rule file: ANSI text whose lines pair up as search string and
// replacement, in file order.
// SPDX-License-Identifier: MIT
#include "renamer/renamer.h"

namespace renamer {

namespace {

// The rule file's name and the system's reason, for the call that has just
// failed.
platform::IoError RuleFileError() {
  const std::string reason = platform::LastErrorText();
  return platform::IoError(platform::EncodeUtf8(options.ruleFileName) + ": " + reason);
}

}  // namespace

void LoadRules() {
  rules.ruleCount = 0;
  // "*" names no file on any system, even where a file may be called so;
  // a directory of that name is not a rule file either, nor (POSIX) a
  // device or FIFO, which could be read forever.
  if (options.ruleFileName == u"*" || !platform::InputFileExists(options.ruleFileName)) return;

  platform::InputTextFile file;
  if (!file.Open(options.ruleFileName)) throw RuleFileError();
  // Pairs past the table's capacity are left unread.
  while (rules.ruleCount < kRuleCapacity) {
    if (file.AtEnd()) break;
    rules.searchText[rules.ruleCount] = file.ReadLine();
    // An odd last line has no replacement and is dropped.
    if (file.AtEnd()) break;
    rules.replaceText[rules.ruleCount] = file.ReadLine();
    ++rules.ruleCount;
  }
  if (!file.Close()) throw RuleFileError();
}

}  // namespace renamer
