// Name rewriting: the ANSI check, the rules, and -w after them.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

namespace {

// Whether the ANSI round trip keeps text as it is, told from its units
// alone: ASCII converts to itself (most names are ASCII).
bool AsciiOnly(const std::u16string& text) {
  return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; });
}

// The ANSI check of working, the name as given or composed, in place: the
// converted form, reported and counted when it differs.
void AnsiCheck(EntryKind kind, const std::u16string& name, std::u16string& working, bool& changed) {
  if (AsciiOnly(working)) return;
  const bool directory = kind == EntryKind::Directory;
  std::u16string converted = platform::FromAnsi(platform::ToAnsi(working));
  if (converted == working) return;
  working.swap(converted);
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

// A rule stopped short, by the substitution cap or the growth budget.
void ReportExceededReplace(const std::u16string& text) {
  if (ReportsErrors()) WriteLine(u"ERR_EXCEED_REPLACE: " + text);
  ++counters.exceededReplaces;
}

}  // namespace

bool ApplyRule(const std::u16string& search, const std::u16string& replacement, std::u16string text,
               std::u16string& result, std::size_t maxLength) {
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
      // A substitution that would grow the text past its budget is not
      // made; the rule stops at the text as it stands.
      if (replacement.size() > search.size() &&
          text.size() - search.size() + replacement.size() > maxLength) {
        ReportExceededReplace(text);
        break;
      }
      text.replace(pos, search.size(), replacement);
      result = text;
      substituted = true;
      if (replaceDepth >= kReplaceCap) {
        ReportExceededReplace(result);
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

// The first units of the rules' search texts: a name that holds none of
// them is left alone by every rule. Kept beside the rule list and built again
// whenever a rule's first unit differs from the one it was built from.
struct RuleStarts {
  std::vector<char32_t> firstUnits;  // per rule; kNoUnit for an empty search text
  std::bitset<0x10000> units;
};
RuleStarts ruleStarts;
constexpr char32_t kNoUnit = 0x10000;

char32_t FirstUnit(const std::u16string& search) { return search.empty() ? kNoUnit : search[0]; }

bool MayApplyRules(const std::u16string& text) {
  bool current = ruleStarts.firstUnits.size() == rules.ruleCount;
  for (std::uint32_t i = 0; current && i < rules.ruleCount; ++i) {
    current = ruleStarts.firstUnits[i] == FirstUnit(rules.searchText[i]);
  }
  if (!current) {
    ruleStarts.firstUnits.clear();
    ruleStarts.units.reset();
    for (std::uint32_t i = 0; i < rules.ruleCount; ++i) {
      const char32_t unit = FirstUnit(rules.searchText[i]);
      ruleStarts.firstUnits.push_back(unit);
      if (unit != kNoUnit) ruleStarts.units.set(unit);
    }
  }
  for (const char16_t unit : text) {
    if (ruleStarts.units[unit]) return true;
  }
  return false;
}

// The rules in file order over text; true when any changed it. Each rule
// runs once, and all of them together may lengthen the text by kMaxGrowth
// units over its length here.
bool ApplyRules(std::u16string& text) {
  if (!MayApplyRules(text)) return false;
  bool changed = false;
  const std::size_t maxLength = text.size() + kMaxGrowth;
  static std::u16string result;  // reused from name to name
  for (std::uint32_t i = 0; i < rules.ruleCount; ++i) {
    // Most names hold no search string; skip the copies for them.
    if (text.find(rules.searchText[i]) == std::u16string::npos) continue;
    result = text;
    if (!ApplyRule(rules.searchText[i], rules.replaceText[i], text, result, maxLength)) continue;
    text.swap(result);
    changed = true;
  }
  return changed;
}

}  // namespace

void RewriteName(EntryKind kind, const std::u16string& nameOrPath, std::u16string& result,
                 bool& changed) {
  changed = false;
  // With -w, accents stored as combining marks are composed first, so that
  // the ANSI check sees the characters a user sees.
  if (options.windowsNames) {
    result = ComposeOwnName(kind, nameOrPath);
    changed = result != nameOrPath;
  } else {
    result.assign(nameOrPath);  // into the storage result already has
  }
  const bool composed = changed;
  AnsiCheck(kind, nameOrPath, result, changed);
  if (ApplyRules(result)) changed = true;
  if (options.windowsNames) MakeWindowsSafe(kind, nameOrPath, composed, result, changed);
}

std::u16string RewriteName(EntryKind kind, const std::u16string& nameOrPath, bool& changed) {
  std::u16string result;
  RewriteName(kind, nameOrPath, result, changed);
  return result;
}

}  // namespace renamer
