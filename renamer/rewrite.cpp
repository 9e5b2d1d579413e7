// Name rewriting: the ANSI check, the rules, and the counter that makes a
// new name free on disk (and in the record the walk keeps of a directory).
// SPDX-License-Identifier: MIT
#include <bitset>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

namespace {

bool OnDisk(EntryKind kind, const std::u16string& path) {
  return kind == EntryKind::Directory ? platform::DirectoryExists(path)
                                      : platform::FileExists(path);
}

// Storage the rewriting reuses from name to name, so that testing and
// rewriting a name costs no allocation once it has grown.
struct RewriteScratch {
  std::u16string path;   ///< a whole path to test on disk
  std::u16string key;    ///< a key to look up in DirectoryNames::renamed
  std::u16string rules;  ///< the text a rule is applied to
};
RewriteScratch scratch;

// OnDisk of prefix + name.
bool OnDisk(EntryKind kind, const std::u16string& prefix, const std::u16string& name) {
  return OnDisk(kind, scratch.path.assign(prefix).append(name));
}

// The key of a name in DirectoryNames::renamed: the file system's own rule.
std::u16string NameKey(std::u16string_view name) {
  return platform::kNamesIgnoreCase ? platform::FoldCase(std::u16string(name))
                                    : std::u16string(name);
}

std::u16string CaseKey(std::u16string_view name) {
  return platform::FoldCase(std::u16string(name));
}

// Whether prefix + name, the path of an entry as MakeUniqueName takes it,
// names an entry of the directory of names; entry is then its name, a part
// of name. Renames refuse a name with a separator or a NUL, "." and "..",
// so no such name ever stands in the directory.
bool NameIn(const DirectoryNames& names, const std::u16string& prefix, const std::u16string& name,
            std::u16string_view& entry) {
  const std::size_t at = names.path.size();
  if (prefix.size() > at || name.size() <= at - prefix.size()) return false;
  // A file's prefix is the whole directory path; memcmp compares it fastest.
  if (std::memcmp(names.path.data(), prefix.data(), prefix.size() * sizeof(char16_t)) != 0 ||
      names.path.compare(prefix.size(), std::u16string::npos, name, 0, at - prefix.size()) != 0) {
    return false;
  }
  entry = std::u16string_view(name).substr(at - prefix.size());
  for (const char16_t unit : entry) {
    if (unit == u'/' || unit == platform::kPathSeparator || unit == u'\0') return false;
  }
  return entry != u"." && entry != u"..";
}

// Lists the directory of names once, for the entries of its kind that this
// run has left there: the listed ones that the record does not know of,
// and the names that the record gives.
void ListPresent(DirectoryNames& names) {
  names.listed = true;
  platform::DirectoryListing listing;
  platform::DirEntry entry;
  if (listing.Open(names.path + u"*")) {
    while (listing.Next(entry)) {
      if (entry.isDirectory != (names.kind == EntryKind::Directory) || entry.name == u"." ||
          entry.name == u"..") {
        continue;
      }
      if (!names.renamed.empty() && names.renamed.count(NameKey(entry.name)) != 0) continue;
      if (++names.present[platform::FoldCase(std::move(entry.name))].entries > 1)
        names.twins = true;
    }
  }
  for (const auto& [name, given] : names.renamed) {
    if (given && ++names.present[CaseKey(name)].entries > 1) names.twins = true;
  }
}

// The test of the candidate prefix + name. Outside the directory of names
// (or without one) it asks the disk. Inside, the record of debug mode comes
// before the disk, and with -w 1 an entry whose key matches takes the
// candidate too, unless it is the entry being renamed (oldEntry). byCase
// tells that only a name differing in case took it.
bool IsTaken(EntryKind kind, const std::u16string& prefix, const std::u16string& name,
             DirectoryNames* names, std::u16string_view oldEntry, bool& byCase) {
  byCase = false;
  std::u16string_view entry;
  if (names == nullptr || !NameIn(*names, prefix, name, entry)) return OnDisk(kind, prefix, name);
  auto known = names->renamed.end();
  if (!names->renamed.empty()) {
    if (platform::kNamesIgnoreCase) {
      known = names->renamed.find(NameKey(entry));
    } else {
      known = names->renamed.find(scratch.key.assign(entry));
    }
  }
  const bool taken = known != names->renamed.end() ? known->second : OnDisk(kind, prefix, name);
  if (!options.windowsNames) return taken;

  if (!names->listed) ListPresent(*names);
  const std::u16string key = CaseKey(entry);
  const auto found = names->present.find(key);
  std::uint32_t others = found == names->present.end() ? 0 : found->second.entries;
  if (others > 0 && CaseKey(oldEntry) == key) --others;
  // The entry itself keeps the exact test taken for its own name.
  if (others > 0 && (!taken || entry == oldEntry)) byCase = true;
  return taken || others > 0;
}

// Whether the ANSI round trip keeps text as it is, told from its units
// alone: ASCII converts to itself (most names are ASCII).
bool AsciiOnly(const std::u16string& text) {
  for (const char16_t unit : text) {
    if (unit >= 0x80) return false;
  }
  return true;
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

// The rules in file order over text; true when any changed it. A rule that
// grows the text past kMaxGrownLength ends the rewriting (ApplyRule has
// reported it).
bool ApplyRules(std::u16string& text) {
  if (!MayApplyRules(text)) return false;
  bool changed = false;
  std::u16string& result = scratch.rules;
  for (std::uint32_t i = 0; i < rules.ruleCount; ++i) {
    // Most names hold no search string; skip the copies for them.
    if (text.find(rules.searchText[i]) == std::u16string::npos) continue;
    result = text;
    if (!ApplyRule(rules.searchText[i], rules.replaceText[i], text, result)) continue;
    const bool overgrown = result.size() > text.size() && result.size() > kMaxGrownLength;
    text.swap(result);
    changed = true;
    if (overgrown) break;
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

void MakeUniqueName(EntryKind kind, const std::u16string& prefix, std::u16string& name,
                    DirectoryNames* names, const std::u16string& oldName) {
  std::u16string_view oldEntry;
  if (names != nullptr && !NameIn(*names, prefix, oldName, oldEntry)) names = nullptr;
  bool byCase = false;
  // Most new names are free as they are: no copies for them.
  if (!IsTaken(kind, prefix, name, names, oldEntry, byCase)) return;
  const std::u16string base = name;
  std::u16string candidate;
  std::uint32_t n = 0;
  bool caseClash = false;
  do {
    caseClash = caseClash || byCase;
    ++n;
    // Kept on purpose (docs/ARCHITECTURE.md): after a directory's name, before a file's.
    candidate = kind == EntryKind::Directory ? base + u"_" + platform::Decimal(n)
                                             : platform::Decimal(n) + u"_" + base;
    // Kept on purpose (docs/ARCHITECTURE.md): the last candidate is taken
    // untested; a rename onto a taken name fails without harm, since renames
    // never replace.
    if (n >= kUniqueTries) break;
  } while (IsTaken(kind, prefix, candidate, names, oldEntry, byCase));
  if (caseClash) {
    if (ReportsErrors()) {
      WriteLine((kind == EntryKind::Directory ? u"WARN_WIN CASE Dir: " : u"WARN_WIN CASE File: ") +
                base);
    }
    ++counters.windowsNames;
  }
  name.swap(candidate);
}

void NotePresent(DirectoryNames& names, const std::u16string& name) {
  if (!options.windowsNames) return;
  names.listed = true;
  if (++names.present[CaseKey(name)].entries > 1) names.twins = true;
}

bool NextEntry(DirectoryNames& names, platform::DirectoryListing& listing,
               const std::u16string& pattern, platform::DirEntry& entry) {
  if (!options.windowsNames || (pattern != u"*.*" && pattern != u"*")) return listing.Next(entry);
  if (!names.listed) {
    names.listed = true;
    while (listing.Next(entry)) {
      if (entry.isDirectory != (names.kind == EntryKind::Directory) || entry.name == u"." ||
          entry.name == u"..") {
        continue;
      }
      NotePresent(names, entry.name);
      names.pending.push_back(std::move(entry));
    }
  }
  if (names.nextPending == names.pending.size()) return false;
  entry = std::move(names.pending[names.nextPending++]);
  return true;
}

bool ClashesByCase(DirectoryNames* names, const std::u16string& prefix,
                   const std::u16string& name) {
  std::u16string_view entry;
  if (!options.windowsNames || names == nullptr || !NameIn(*names, prefix, name, entry)) {
    return false;
  }
  if (!names->listed) ListPresent(*names);
  if (!names->twins) return false;
  bool& settled = names->present[CaseKey(entry)].settled;
  if (settled) return true;
  settled = true;
  return false;
}

void NoteOutcome(DirectoryNames* names, const std::u16string& prefix, const std::u16string& oldName,
                 const std::u16string& finalName) {
  if (names == nullptr || (!options.windowsNames && !options.debugMode)) return;
  std::u16string_view oldEntry;
  std::u16string_view finalEntry;
  if (!NameIn(*names, prefix, oldName, oldEntry)) return;
  // A new name in another directory is never given: such a rename fails.
  if (!NameIn(*names, prefix, finalName, finalEntry)) finalEntry = oldEntry;
  if (finalEntry != oldEntry && options.debugMode) {
    names->renamed[NameKey(oldEntry)] = false;
    names->renamed[NameKey(finalEntry)] = true;
  }
  if (!options.windowsNames) return;
  const std::u16string finalKey = CaseKey(finalEntry);
  if (!names->listed) ListPresent(*names);
  if (finalEntry != oldEntry) {
    std::uint32_t& oldCount = names->present[CaseKey(oldEntry)].entries;
    if (oldCount > 0) --oldCount;
    if (++names->present[finalKey].entries > 1) names->twins = true;
  }
  names->present[finalKey].settled = true;
}

}  // namespace renamer
