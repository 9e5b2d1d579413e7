// Name rewriting: the ANSI check, the rules, and -w after them.
// SPDX-License-Identifier: MIT
#include <string>
#include <string_view>

#include "renamer/renamer.h"

namespace renamer {

namespace {

// The ANSI check of text, the name as given or composed: returns the
// converted form, reported and counted when it differs.
std::u16string AnsiCheck(EntryKind kind, const std::u16string& name, const std::u16string& text,
                         bool& changed) {
  const bool directory = kind == EntryKind::Directory;
  std::u16string working = platform::FromAnsi(platform::ToAnsi(text));
  if (working == text) return working;
  changed = true;
  if (ReportsErrors()) {
    WriteLine((directory ? u"WARN_UTF SYM Dir: " : u"WARN_UTF SYM File: ") + name);
  }
  ++(directory ? counters.utfDirs : counters.utfFiles);
  if (working.find(u'?') != std::u16string::npos) {
    if (ReportsErrors()) {
      WriteLine((directory ? u"FORBID_? SYM Dir: " : u"FORBID_? SYM File: ") + working);
    }
    ++(directory ? counters.forbiddenUtfDirs : counters.forbiddenUtfFiles);
  }
  return working;
}

// -w after the rules: the name's own part made Windows-safe. A name that -w
// changed at all (composed is true when its accents were composed) is
// reported once and counted.
void MakeWindowsSafe(EntryKind kind, const std::u16string& name, bool composed,
                     std::u16string& working, bool& changed) {
  std::u16string safe = MakeOwnNameWindowsSafe(kind, working);
  const bool fixed = safe != working;
  if (fixed) {
    working.swap(safe);
    changed = true;
  }
  if (!fixed && !composed) return;
  if (ReportsErrors()) {
    WriteLine((kind == EntryKind::Directory ? u"WARN_WIN NAME Dir: " : u"WARN_WIN NAME File: ") +
              name);
  }
  ++counters.windowsNames;
}

}  // namespace

bool ApplyRule(const std::u16string& search, const std::u16string& replacement, std::u16string text,
               std::u16string& result) {
  // replaceDepth counts this call's substitutions on top of its entry
  // value, and is back to that value on return.
  const std::uint32_t entryDepth = replaceDepth;
  ++replaceDepth;
  bool substituted = false;
  if (!search.empty() && !replacement.empty()) {
    std::size_t from = 0;
    for (;;) {
      if (text.empty() || search.size() > text.size()) break;
      const std::size_t pos = text.find(search, from);
      if (pos == std::u16string::npos) break;
      text.replace(pos, search.size(), replacement);
      result = text;
      substituted = true;
      // A text longer than any path a file system holds is not rewritten on.
      const bool overgrown = replacement.size() > search.size() && text.size() > kMaxGrownLength;
      if (replaceDepth >= kReplaceCap || overgrown) {
        if (ReportsErrors()) WriteLine(u"ERR_EXCEED_REPLACE: " + result);
        ++counters.exceededReplaces;
        break;
      }
      ++replaceDepth;
      // Text left of pos is unchanged, so the leftmost occurrence in the new
      // text cannot start before the last search.size()-1 units of it.
      from = pos >= search.size() - 1 ? pos - (search.size() - 1) : 0;
    }
  }
  replaceDepth = entryDepth;
  return substituted;
}

namespace {

// The rules in file order over text; true when any changed it. A rule that
// grows the text past kMaxGrownLength ends the rewriting (ApplyRule has
// reported it).
bool ApplyRules(std::u16string& text) {
  bool changed = false;
  std::u16string scratch;
  for (std::uint32_t i = 0; i < rules.ruleCount; ++i) {
    // Most names hold no search string; skip the copies for them.
    if (text.find(rules.searchText[i]) == std::u16string::npos) continue;
    scratch = text;
    if (!ApplyRule(rules.searchText[i], rules.replaceText[i], text, scratch)) continue;
    const bool overgrown = scratch.size() > text.size() && scratch.size() > kMaxGrownLength;
    text.swap(scratch);
    changed = true;
    if (overgrown) break;
  }
  return changed;
}

}  // namespace

std::u16string RewriteName(EntryKind kind, const std::u16string& nameOrPath, bool& changed) {
  // With -w, accents stored as combining marks are composed first, so that
  // the ANSI check sees the characters a user sees.
  const std::u16string composed =
      options.windowsNames ? ComposeOwnName(kind, nameOrPath) : nameOrPath;
  changed = composed != nameOrPath;
  std::u16string working = AnsiCheck(kind, nameOrPath, composed, changed);
  if (ApplyRules(working)) changed = true;
  if (options.windowsNames) {
    MakeWindowsSafe(kind, nameOrPath, composed != nameOrPath, working, changed);
  }
  return working;
}

}  // namespace renamer
