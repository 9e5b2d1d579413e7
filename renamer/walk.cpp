// The tree walk: the directory pass renames directories top down, then the
// file pass renames the files, subdirectories first.
// SPDX-License-Identifier: MIT
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

namespace {

bool IsDotEntry(const std::u16string& name) { return name == u"." || name == u".."; }

// A listing may yield an entry again under the name this very walk gave it
// (file systems differ). Such an entry is already done; walking it again
// would count and list it twice, and a rule set that always changes a name
// would rename it over and over. Each open listing keeps the full paths it
// renamed entries to and passes over them.
using RenamedPaths = std::unordered_set<std::u16string>;

// One group of the walk's report: the old path, the new path, and the line
// that ends the group.
void WriteOldAndNew(const std::u16string& oldLabel, const std::u16string& oldPath,
                    const std::u16string& newLabel, const std::u16string& newPath) {
  WriteLine(oldLabel + oldPath);
  WriteLine(newLabel + newPath);
  WriteLine(u"----");
}

// The rename step of one directory, an entry of the directory that names records
// (nullptr for the start directory); path becomes the path under which the
// walk goes on. Returns true when the directory was renamed on disk.
bool RenameDirectory(std::u16string& path, DirectoryNames* names) {
  if (path.size() <= 1) return false;
  const bool endsInSeparator = path.back() == platform::kPathSeparator;
  std::u16string oldPath = path;
  if (endsInSeparator) oldPath.pop_back();

  bool changed = false;
  // Kept on purpose (docs/ARCHITECTURE.md): the rules see the whole path.
  std::u16string newPath = RewriteName(EntryKind::Directory, oldPath, changed);
  if (!changed) changed = ClashesByCase(names, u"", oldPath);
  if (!changed) return false;
  MakeUniqueName(EntryKind::Directory, u"", newPath, names, oldPath);
  if (ReportsDetails()) WriteOldAndNew(u"Old Dir:", oldPath, u"New Dir:", newPath);

  bool renamed = false;
  if (options.debugMode) {
    ++counters.dirRenames;
  } else if (platform::DirectoryExists(oldPath) &&
             JournaledRename(EntryKind::Directory, oldPath, newPath)) {
    // Only a directory is renamed here: a start path that names a file
    // fails like any refused rename and keeps its name.
    renamed = true;
    ++counters.dirRenames;
  } else {
    ++counters.ioErrors;
    if (ReportsErrors()) {
      WriteOldAndNew(u"ERR_EXCEPTION DIR OLD:", oldPath, u"ERR_EXCEPTION DIR NEW:", newPath);
    }
  }
  NoteOutcome(names, u"", oldPath, renamed || options.debugMode ? newPath : oldPath);
  // The walk goes on under the new path even when nothing was renamed.
  path = endsInSeparator ? newPath + platform::kPathSeparator : newPath;
  return renamed;
}

bool WalkDirectoryTree(std::u16string& path, bool isLink, DirectoryNames* names);

// The directory pass over the subdirectories of the directory at path, in
// listing order; a directory that cannot be listed is passed over.
// NOLINTNEXTLINE(misc-no-recursion)
void WalkSubdirectories(const std::u16string& path) {
  platform::DirectoryListing listing;
  if (!listing.Open(path + options.subdirPattern)) return;
  RenamedPaths renamedHere;
  DirectoryNames names;
  names.kind = EntryKind::Directory;
  names.path = path;
  platform::DirEntry entry;
  std::u16string subdir;
  while (NextEntry(names, listing, options.subdirPattern, entry)) {
    if (!entry.isDirectory || IsDotEntry(entry.name)) continue;
    subdir = path + entry.name + platform::kPathSeparator;
    if (walkDepth >= kWalkDepthCap) {
      ++counters.exceededSubdirs;
      if (ReportsErrors()) WriteLine(u"ERR_EXCEED_SUBDIR: " + subdir);
      continue;
    }
    if (!renamedHere.empty() && renamedHere.count(subdir) != 0) continue;
    if (WalkDirectoryTree(subdir, entry.isLink, &names)) renamedHere.insert(subdir);
  }
}

// The directory pass below one directory, an entry of the directory of
// names; path becomes the directory's path after its rename step, and the
// result tells whether it was renamed on disk. A directory link gets its
// rename step but is not listed: followed, it could lead out of the tree or
// round in a loop. Debug mode does not go down into a directory whose name
// it would change: the disk holds its entries under the old path, and the
// new path may name another directory that the run would have renamed
// away. The recursion is bounded by kWalkDepthCap.
// NOLINTNEXTLINE(misc-no-recursion)
bool WalkDirectoryTree(std::u16string& path, bool isLink, DirectoryNames* names) {
  ++walkDepth;
  const std::u16string oldPath = options.debugMode ? path : std::u16string();
  const bool renamed = RenameDirectory(path, names);
  if (options.includeSubdirs && !isLink && !(options.debugMode && path != oldPath)) {
    WalkSubdirectories(path);
  }
  --walkDepth;
  return renamed;
}

// The guarded step of one file: the rename and its file-list line. Returns
// false when either fails; renamedOnDisk tells whether the name changed.
bool RenameFile(const std::u16string& path, const std::u16string& oldName,
                const std::u16string& newName, bool& renamedOnDisk) {
  renamedOnDisk = false;
  // Outside the guard: a journal that cannot take the record stops the run.
  if (!options.debugMode) {
    if (!JournaledRename(EntryKind::File, path + oldName, path + newName)) return false;
    renamedOnDisk = true;
  }
  try {
    AddToFileList(path + newName);
    ++counters.fileRenames;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The file pass's steps for one file of the directory at path: count,
// rewrite, make the new name free, rename and list. A file renamed on disk
// joins renamedHere; names records where each file ended up.
void ProcessFile(const std::u16string& path, const std::u16string& name, RenamedPaths& renamedHere,
                 DirectoryNames& names) {
  ++counters.totalFiles;
  bool changed = false;
  std::u16string newName = RewriteName(EntryKind::File, name, changed);
  if (!changed) changed = ClashesByCase(&names, path, name);
  if (!changed) {
    AddToFileList(path + name);
    return;
  }
  MakeUniqueName(EntryKind::File, path, newName, &names, name);
  if (ReportsDetails()) WriteOldAndNew(u"Old File:", path + name, u"New File:", path + newName);
  bool renamedOnDisk = false;
  const bool done = RenameFile(path, name, newName, renamedOnDisk);
  if (renamedOnDisk) renamedHere.insert(path + newName);
  NoteOutcome(&names, path, name, renamedOnDisk || options.debugMode ? newName : name);
  if (done) return;
  ++counters.ioErrors;
  if (ReportsErrors()) {
    WriteOldAndNew(u"ERR_EXCEPTION FILE OLD:", path + name, u"ERR_EXCEPTION FILE NEW:",
                   path + newName);
  }
}

}  // namespace

// The start directory is entered even when it is a link: the user named it.
void WalkDirectories(std::u16string path) { WalkDirectoryTree(path, false, nullptr); }

namespace {

// Where the system's listing matches masks only by long names (POSIX), one
// reading of a directory gives both its subdirectories and its files.
// Windows lists the files by the mask itself, since its matching also sees
// 8.3 short names.
bool FilesComeWithSubdirectories() {
  return !platform::kMasksMatchShortNames && options.includeSubdirs;
}

// The file pass over the subdirectories of the directory at path; with
// FilesComeWithSubdirectories, the names of the files the mask matches are kept in files, and
// every file of the reading is noted in names.
// NOLINTNEXTLINE(misc-no-recursion)
void WalkSubdirectoryFiles(const std::u16string& path, bool maskUsable,
                           std::vector<std::u16string>& files, DirectoryNames& names) {
  platform::DirectoryListing listing;
  if (!listing.Open(path + options.subdirPattern)) return;
  const bool keepFiles = FilesComeWithSubdirectories() && maskUsable;
  platform::DirEntry entry;
  while (listing.Next(entry)) {
    if (!entry.isDirectory) {
      if (keepFiles) NotePresent(names, entry.name);
      if (keepFiles && platform::MatchesWildcard(options.fileMask, entry.name)) {
        files.push_back(std::move(entry.name));
      }
      continue;
    }
    if (entry.isLink || IsDotEntry(entry.name) || walkDepth >= kWalkDepthCap) continue;
    WalkFiles(path + entry.name + platform::kPathSeparator);
  }
}

// The files of the directory at path by a listing of the mask.
void ProcessListedFiles(const std::u16string& path, DirectoryNames& names) {
  platform::DirectoryListing listing;
  if (!listing.Open(path + options.fileMask)) return;
  RenamedPaths renamedHere;
  platform::DirEntry entry;
  while (NextEntry(names, listing, options.fileMask, entry)) {
    if (entry.isDirectory) continue;
    if (!renamedHere.empty() && renamedHere.count(path + entry.name) != 0) continue;
    ProcessFile(path, entry.name, renamedHere, names);
  }
}

}  // namespace

// Subdirectories first, then this directory's files; the recursion is
// bounded by kWalkDepthCap.
// NOLINTNEXTLINE(misc-no-recursion)
void WalkFiles(const std::u16string& path) {
  ++walkDepth;
  // A mask with a separator would list another folder: it matches no file.
  const bool maskUsable = !platform::HoldsPathSeparator(options.fileMask);
  std::vector<std::u16string> files;
  DirectoryNames names;
  names.path = path;
  if (options.includeSubdirs) WalkSubdirectoryFiles(path, maskUsable, files, names);
  if (FilesComeWithSubdirectories()) {
    RenamedPaths renamedHere;
    for (const std::u16string& name : files) ProcessFile(path, name, renamedHere, names);
  } else if (maskUsable) {
    ProcessListedFiles(path, names);
  }
  --walkDepth;
}

}  // namespace renamer
