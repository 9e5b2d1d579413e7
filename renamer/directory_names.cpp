// The unique-name step: the counter that makes a new name free on disk, and
// DirectoryNames, the record the walk keeps of the directory whose entries
// it is renaming (the names debug mode gave and vacated, and with -w 1 the
// names told apart without regard to case).
// SPDX-License-Identifier: MIT
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

namespace {

using NameState = DirectoryNames::NameState;

bool OnDisk(EntryKind kind, const std::u16string& path) {
  return kind == EntryKind::Directory ? platform::DirectoryExists(path)
                                      : platform::FileExists(path);
}

// Storage the unique-name step reuses from name to name, so that testing a
// name costs no allocation once it has grown.
struct TestScratch {
  std::u16string path;  ///< a whole path to test on disk
  std::u16string key;   ///< a key to look up in DirectoryNames::renamed
};
TestScratch scratch;

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
// names an entry of the record's directory; entry is then its name, a part
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
  return !platform::IsDotName(entry);
}

// The record's directory as the disk holds it now.
const std::u16string& OnDiskDirectory(const DirectoryNames& names) {
  return names.diskPath.empty() ? names.path : names.diskPath;
}

// One more entry under key; a settled one keeps its name from here on.
void CountPresent(DirectoryNames& names, const std::u16string& key, bool settled) {
  DirectoryNames::Presence& presence = names.present[key];
  if (++presence.entries > 1) names.twins = true;
  if (settled) presence.settled = true;
}

// Lists the record's directory once, for the entries that this run has
// left there: the listed ones that the record does not know of, and the
// names that the record gives.
void ListPresent(DirectoryNames& names) {
  names.listed = true;
  platform::DirectoryListing listing;
  platform::DirEntry entry;
  if (listing.Open(OnDiskDirectory(names) + u"*")) {
    while (listing.Next(entry)) {
      const bool ownKind = entry.isDirectory == (names.kind == EntryKind::Directory);
      if (ownKind && !names.renamed.empty() && names.renamed.count(NameKey(entry.name)) != 0) {
        continue;
      }
      NotePresent(names, entry);
    }
  }
  for (const auto& [name, state] : names.renamed) {
    if (state == NameState::Given) CountPresent(names, CaseKey(name), false);
  }
}

// The test of the candidate prefix + name. Outside the record's directory
// (or without one) it asks the disk. Inside, the record of debug mode and
// the preview comes before the disk (where the directory stands now), and with -w 1 an entry whose
// key matches takes the candidate too, unless it is the entry being renamed (oldEntry). byCase
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
  const bool taken = known != names->renamed.end() ? known->second == NameState::Given
                     : names->diskPath.empty()
                         ? OnDisk(kind, prefix, name)
                         : OnDisk(kind, names->diskPath, std::u16string(entry));
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

}  // namespace

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

void NotePresent(DirectoryNames& names, const platform::DirEntry& entry) {
  if (!options.windowsNames || platform::IsDotName(entry.name)) return;
  names.listed = true;
  // An entry of the record's own kind, or a file met by the directory pass
  // (files come later), counts under its present name.
  if (entry.isDirectory && names.kind != EntryKind::Directory) {
    // The file pass: the directory has its final name, or in debug mode
    // the one the directory pass foresaw. Each directory is met once in
    // the file pass, so its entry goes.
    const auto foreseen = foreseenDirNames.empty() ? foreseenDirNames.end()
                                                   : foreseenDirNames.find(names.path + entry.name);
    if (foreseen == foreseenDirNames.end()) {
      CountPresent(names, CaseKey(entry.name), true);
    } else {
      CountPresent(names, CaseKey(foreseen->second), true);
      foreseenDirNames.erase(foreseen);
    }
  } else {
    CountPresent(names, CaseKey(entry.name), false);
  }
}

bool NextEntry(DirectoryNames& names, platform::DirectoryListing& listing,
               const std::u16string& pattern, platform::DirEntry& entry) {
  if (!options.windowsNames || (pattern != u"*.*" && pattern != u"*")) return listing.Next(entry);
  if (!names.listed) {
    names.listed = true;
    while (listing.Next(entry)) {
      NotePresent(names, entry);
      if (entry.isDirectory != (names.kind == EntryKind::Directory) ||
          platform::IsDotName(entry.name)) {
        continue;
      }
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
  if (names == nullptr || (!options.windowsNames && !RenamesNothing())) return;
  std::u16string_view oldEntry;
  std::u16string_view finalEntry;
  if (!NameIn(*names, prefix, oldName, oldEntry)) return;
  // A new name in another directory is never given: such a rename fails.
  if (!NameIn(*names, prefix, finalName, finalEntry)) finalEntry = oldEntry;
  if (finalEntry != oldEntry && RenamesNothing()) {
    names->renamed[NameKey(oldEntry)] = NameState::Vacated;
    names->renamed[NameKey(finalEntry)] = NameState::Given;
    // The preview's file pass decides a directory's name again: the
    // directory pass has noted it already.
    if (options.windowsNames && names->kind == EntryKind::Directory && !retracing) {
      foreseenDirNames[names->path + std::u16string(oldEntry)] = finalEntry;
    }
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
