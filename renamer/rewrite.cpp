// Name rewriting: the ANSI check, the rules, and the counter that makes a
// new name free on disk (and in the record the walk keeps of a directory).
// SPDX-License-Identifier: MIT
#include <string>

#include "renamer/renamer.h"

namespace renamer {

namespace {

bool OnDisk(EntryKind kind, const std::u16string& path) {
  return kind == EntryKind::Directory ? platform::DirectoryExists(path)
                                      : platform::FileExists(path);
}

// The key of a name in DirectoryNames::renamed: the file system's own rule.
std::u16string NameKey(const std::u16string& name) {
  return platform::kNamesIgnoreCase ? platform::FoldCase(name) : name;
}

// Whether prefix + name, the path of an entry as MakeUniqueName takes it,
// names an entry of the directory of names, and which.
bool NameIn(const DirectoryNames& names, const std::u16string& prefix, const std::u16string& name,
            std::u16string& entry) {
  if (prefix.size() != names.path.size()) {
    const std::u16string path = prefix + name;
    const std::size_t at = names.path.size();
    if (path.size() <= at || path.compare(0, at, names.path) != 0) return false;
    entry.assign(path, at, std::u16string::npos);
  } else if (prefix == names.path && !name.empty()) {
    entry = name;
  } else {
    return false;
  }
  // Renames refuse any other name, so it never stands in the directory.
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
      ++names.present[platform::FoldCase(entry.name)];
    }
  }
  for (const auto& [name, given] : names.renamed) {
    if (given) ++names.present[platform::FoldCase(name)];
  }
}

// The test of the candidate prefix + name. Outside the directory of names
// (or without one) it asks the disk. Inside, the record of debug mode comes
// before the disk, and with -w 1 an entry whose key matches takes the
// candidate too, unless it is the entry being renamed (oldEntry). byCase
// tells that only a name differing in case took it.
bool IsTaken(EntryKind kind, const std::u16string& prefix, const std::u16string& name,
             DirectoryNames* names, const std::u16string& oldEntry, bool& byCase) {
  byCase = false;
  std::u16string entry;
  if (names == nullptr || !NameIn(*names, prefix, name, entry)) return OnDisk(kind, prefix + name);
  const auto known =
      names->renamed.empty() ? names->renamed.end() : names->renamed.find(NameKey(entry));
  const bool taken = known != names->renamed.end() ? known->second : OnDisk(kind, prefix + name);
  if (!options.windowsNames) return taken;

  if (!names->listed) ListPresent(*names);
  const std::u16string key = platform::FoldCase(entry);
  const auto found = names->present.find(key);
  std::uint32_t others = found == names->present.end() ? 0 : found->second;
  if (others > 0 && platform::FoldCase(oldEntry) == key) --others;
  // The entry itself keeps the exact test taken for its own name.
  if (others > 0 && (!taken || entry == oldEntry)) byCase = true;
  return taken || others > 0;
}

}  // namespace

bool ApplyRule(const std::u16string& search, const std::u16string& replacement, std::u16string text,
               std::u16string& result) {
  // Each substitution stands for one nesting level of the rule's repeated
  // application, so replaceDepth reads as it would in a recursion and is
  // back to its entry value on return.
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
      if (replaceDepth >= kReplaceCap) {
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

std::u16string RewriteName(EntryKind kind, const std::u16string& name, bool& changed) {
  const bool directory = kind == EntryKind::Directory;
  changed = false;
  std::u16string working = platform::FromAnsi(platform::ToAnsi(name));
  if (working != name) {
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

  std::u16string scratch;
  for (std::uint32_t i = 0; i < rules.ruleCount; ++i) {
    // Most names hold no search string; skip the copies for them.
    if (working.find(rules.searchText[i]) == std::u16string::npos) continue;
    scratch = working;
    if (ApplyRule(rules.searchText[i], rules.replaceText[i], working, scratch)) {
      working.swap(scratch);
      changed = true;
    }
  }
  return working;
}

void MakeUniqueName(EntryKind kind, const std::u16string& prefix, std::u16string& name,
                    DirectoryNames* names, const std::u16string& oldName) {
  std::u16string oldEntry;
  if (names != nullptr && !NameIn(*names, prefix, oldName, oldEntry)) names = nullptr;
  const std::u16string base = name;
  std::u16string candidate = name;
  std::uint32_t n = 0;
  bool byCase = false;
  bool caseClash = false;
  while (IsTaken(kind, prefix, candidate, names, oldEntry, byCase)) {
    caseClash = caseClash || byCase;
    ++n;
    candidate = kind == EntryKind::Directory ? base + u"_" + platform::Decimal(n)
                                             : platform::Decimal(n) + u"_" + base;
    // The last candidate is taken untested; a rename onto a taken name
    // fails without harm, since renames never replace.
    if (n >= kUniqueTries) break;
  }
  if (caseClash) {
    if (ReportsErrors()) {
      WriteLine((kind == EntryKind::Directory ? u"WIN_CASE Dir: " : u"WIN_CASE File: ") + base);
    }
    ++counters.windowsNames;
  }
  if (n > 0) name = candidate;
}

bool ClashesByCase(const DirectoryNames* names, const std::u16string& prefix,
                   const std::u16string& name) {
  if (!options.windowsNames || names == nullptr || names->settled.empty()) return false;
  std::u16string entry;
  return NameIn(*names, prefix, name, entry) &&
         names->settled.count(platform::FoldCase(entry)) != 0;
}

void NoteOutcome(DirectoryNames* names, const std::u16string& prefix, const std::u16string& oldName,
                 const std::u16string& finalName) {
  if (names == nullptr || (!options.windowsNames && (!options.debugMode || oldName == finalName))) {
    return;
  }
  std::u16string oldEntry;
  std::u16string finalEntry;
  if (!NameIn(*names, prefix, oldName, oldEntry)) return;
  // A new name in another directory is never given: such a rename fails.
  if (!NameIn(*names, prefix, finalName, finalEntry)) finalEntry = oldEntry;
  if (finalEntry != oldEntry && options.debugMode) {
    names->renamed[NameKey(oldEntry)] = false;
    names->renamed[NameKey(finalEntry)] = true;
  }
  if (!options.windowsNames) return;
  const std::u16string finalKey = platform::FoldCase(finalEntry);
  if (finalEntry != oldEntry && names->listed) {
    std::uint32_t& oldCount = names->present[platform::FoldCase(oldEntry)];
    if (oldCount > 0) --oldCount;
    ++names->present[finalKey];
  }
  names->settled.insert(finalKey);
}

}  // namespace renamer
