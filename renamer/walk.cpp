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

// The new path of the directory at oldPath (without the separator at its
// end), an entry of the directory that names records (nullptr for the start
// directory); false when its path stays.
bool NewDirectoryPath(const std::u16string& oldPath, DirectoryNames* names,
                      std::u16string& newPath) {
  bool changed = false;
  // Kept on purpose (docs/ARCHITECTURE.md): the rules see the whole path.
  newPath = RewriteName(EntryKind::Directory, oldPath, changed);
  if (!changed) changed = ClashesByCase(names, u"", oldPath);
  if (!changed) return false;
  MakeUniqueName(EntryKind::Directory, u"", newPath, names, oldPath);
  return true;
}

// The preview's guess at the rename from -> to: true when it would be made.
// A rename out of its directory (a rule that changed a parent part, or a
// separator in a new name) is refused before the system is asked, so the
// preview knows that much; other failures show only in the run.
bool ForeseenRename(EntryKind kind, const std::u16string& from, const std::u16string& to) {
  const bool stays = platform::RenameStaysInItsDirectory(from, to);
  PlanRename(kind, from, to, !stays);
  return stays;
}

// The rename step of one directory, an entry of the directory that names records
// (nullptr for the start directory); path becomes the path under which the
// walk goes on. Returns true when the directory was renamed on disk;
// failed tells that its rename failed (in the preview: would fail).
bool RenameDirectory(std::u16string& path, DirectoryNames* names, bool& failed) {
  failed = false;
  if (path.size() <= 1) return false;
  const bool endsInSeparator = path.back() == platform::kPathSeparator;
  std::u16string oldPath = path;
  if (endsInSeparator) oldPath.pop_back();

  std::u16string newPath;
  if (!NewDirectoryPath(oldPath, names, newPath)) return false;
  if (ReportsDetails()) WriteOldAndNew(u"Old Dir:", oldPath, u"New Dir:", newPath);

  bool renamed = false;
  bool made = true;  // renamed, or to be renamed in debug mode and the preview
  if (options.previewMode) {
    // A listed entry is there; the start directory may be missing.
    made = (names != nullptr || platform::DirectoryExists(oldPath)) &&
           ForeseenRename(EntryKind::Directory, oldPath, newPath);
  } else if (!options.debugMode) {
    // Only a directory is renamed here: a start path that names a file
    // fails like any refused rename and keeps its name.
    made = renamed = platform::DirectoryExists(oldPath) &&
                     JournaledRename(EntryKind::Directory, oldPath, newPath);
  }
  if (made) {
    ++counters.dirRenames;
  } else {
    failed = true;
    ++counters.ioErrors;
    if (ReportsErrors()) {
      WriteOldAndNew(u"ERR_EXCEPTION DIR OLD:", oldPath, u"ERR_EXCEPTION DIR NEW:", newPath);
    }
  }
  NoteOutcome(names, u"", oldPath, made ? newPath : oldPath);
  // The walk goes on under the new path even when nothing was renamed.
  path = endsInSeparator ? newPath + platform::kPathSeparator : newPath;
  return renamed;
}

bool WalkDirectoryTree(std::u16string& path, const std::u16string& diskPath, bool isLink,
                       DirectoryNames* names);

// The directory pass over the subdirectories of the directory at path, in
// listing order; a directory that cannot be listed is passed over. The
// directory stands at diskPath on disk: in the preview its present path,
// otherwise path itself.
// NOLINTNEXTLINE(misc-no-recursion)
void WalkSubdirectories(const std::u16string& path, const std::u16string& diskPath) {
  platform::DirectoryListing listing;
  if (!listing.Open(diskPath + options.subdirPattern)) return;
  RenamedPaths renamedHere;
  DirectoryNames names;
  names.kind = EntryKind::Directory;
  names.path = path;
  if (diskPath != path) names.diskPath = diskPath;
  platform::DirEntry entry;
  std::u16string subdir;
  std::u16string subdirOnDisk;
  while (NextEntry(names, listing, options.subdirPattern, entry)) {
    if (!entry.isDirectory || platform::IsDotName(entry.name)) continue;
    subdir = path + entry.name + platform::kPathSeparator;
    if (walkDepth >= kWalkDepthCap) {
      ++counters.exceededSubdirs;
      if (ReportsErrors()) WriteLine(u"ERR_EXCEED_SUBDIR: " + subdir);
      continue;
    }
    if (!renamedHere.empty() && renamedHere.count(subdir) != 0) continue;
    if (options.previewMode) subdirOnDisk = diskPath + entry.name + platform::kPathSeparator;
    if (WalkDirectoryTree(subdir, subdirOnDisk, entry.isLink, &names)) renamedHere.insert(subdir);
  }
}

// The directory pass below one directory, an entry of the directory of
// names; path becomes the directory's path after its rename step, and the
// result tells whether it was renamed on disk. A directory link gets its
// rename step but is not listed: followed, it could lead out of the tree or
// round in a loop. Debug mode does not go down into a directory whose name
// it would change: the disk holds its entries under the old path, and the
// new path may name another directory that the run would have renamed
// away. The preview does, listing it where it stands (diskPath, which only
// the preview reads) and naming its entries below path, as the run will. The recursion is
// bounded by kWalkDepthCap.
// NOLINTNEXTLINE(misc-no-recursion)
bool WalkDirectoryTree(std::u16string& path, const std::u16string& diskPath, bool isLink,
                       DirectoryNames* names) {
  ++walkDepth;
  const bool stopsAtRename = options.debugMode && !options.previewMode;
  const std::u16string oldPath = stopsAtRename ? path : std::u16string();
  bool failed = false;
  const bool renamed = RenameDirectory(path, names, failed);
  if (options.includeSubdirs && !isLink && !(stopsAtRename && path != oldPath)) {
    // After a failed rename the run lists the new path, as the preview does.
    WalkSubdirectories(path, options.previewMode && !failed ? diskPath : path);
  }
  --walkDepth;
  return renamed;
}

// The storage the file pass reuses from file to file and from directory to
// directory, so that a file whose name stays as it is costs no allocation.
// ProcessFile never runs inside another ProcessFile.
struct FileBuffers {
  std::u16string name;     ///< the file's name
  std::u16string newName;  ///< its rewritten name
  std::u16string path;     ///< a whole path
  std::u16string from;     ///< the path of a file to rename
  std::u16string to;       ///< the path it is renamed to
};
FileBuffers fileBuffers;

// The guarded step of one file, from -> to: the rename and its file-list
// line. Returns false when either fails; renamedOnDisk tells whether the
// name changed, and foreseen, in the preview, whether the run would change
// it.
bool RenameFile(const std::u16string& from, const std::u16string& to, bool& renamedOnDisk,
                bool& foreseen) {
  renamedOnDisk = false;
  foreseen = false;
  // Outside the guard: a journal that cannot take the record stops the run.
  if (options.previewMode) {
    foreseen = ForeseenRename(EntryKind::File, from, to);
    if (!foreseen) return false;
  } else if (!options.debugMode) {
    if (!JournaledRename(EntryKind::File, from, to)) return false;
    renamedOnDisk = true;
  }
  try {
    AddToFileList(to);
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
                 DirectoryNames& names, FileBuffers& buffers) {
  ++counters.totalFiles;
  bool changed = false;
  std::u16string& newName = buffers.newName;
  RewriteName(EntryKind::File, name, newName, changed);
  if (!changed) changed = ClashesByCase(&names, path, name);
  if (!changed) {
    AddToFileList(buffers.path.assign(path).append(name));
    return;
  }
  MakeUniqueName(EntryKind::File, path, newName, &names, name);
  if (ReportsDetails()) WriteOldAndNew(u"Old File:", path + name, u"New File:", path + newName);
  bool renamedOnDisk = false;
  bool foreseen = false;
  buffers.from.assign(path).append(name);
  buffers.to.assign(path).append(newName);
  const bool done = RenameFile(buffers.from, buffers.to, renamedOnDisk, foreseen);
  if (renamedOnDisk) renamedHere.insert(buffers.to);
  // Debug mode gives every new name; the preview each that the run would.
  const bool given = renamedOnDisk || foreseen || (options.debugMode && !options.previewMode);
  NoteOutcome(&names, path, name, given ? newName : name);
  if (done) return;
  ++counters.ioErrors;
  if (ReportsErrors()) {
    WriteOldAndNew(u"ERR_EXCEPTION FILE OLD:", path + name, u"ERR_EXCEPTION FILE NEW:",
                   path + newName);
  }
}

}  // namespace

// The start directory is entered even when it is a link: the user named it.
bool WalkDirectories(std::u16string path) {
  // The preview renames nothing, so its start directory stays where it is.
  const std::u16string diskPath = options.previewMode ? path : std::u16string();
  return WalkDirectoryTree(path, diskPath, false, nullptr);
}

namespace {

// Where the system's listing matches masks only by long names (POSIX), one
// reading of a directory gives both its subdirectories and its files.
// Windows lists the files by the mask itself, since its matching also sees
// 8.3 short names.
bool FilesComeWithSubdirectories() {
  return !platform::kMasksMatchShortNames && options.includeSubdirs;
}

// The names of the files that the mask matches, one after the other in one
// string, for every directory being walked: a directory's names follow its
// parent's, and go again once its files are done. Its storage is reused from
// directory to directory, so that a name costs no allocation of its own.
struct FileNames {
  std::u16string text;
  std::vector<std::size_t> ends;  ///< where each name ends in text

  void Add(const std::u16string& name) {
    text += name;
    ends.push_back(text.size());
  }
  /// Name i into name, whose storage is reused.
  void Get(std::size_t i, std::u16string& name) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    name.assign(text, begin, ends[i] - begin);
  }
};
FileNames fileNames;

// The preview's file pass: the path that the directory pass gave the
// directory at path, an entry of the directory that names records (nullptr: the
// start directory), decided again as the directory pass decided it, in the
// same order and with the same record, writing and counting nothing.
// walked tells whether the directory pass went on below it, as it does
// unless the rename would fail; the path stays as it is then.
std::u16string RetracedPath(const std::u16string& path, DirectoryNames* names, bool& walked) {
  walked = true;
  if (path.size() <= 1) return path;
  const bool endsInSeparator = path.back() == platform::kPathSeparator;
  std::u16string oldPath = path;
  if (endsInSeparator) oldPath.pop_back();
  const RenamerCounters kept = counters;
  retracing = true;
  std::u16string newPath;
  const bool changed = NewDirectoryPath(oldPath, names, newPath);
  if (changed) {
    walked = platform::RenameStaysInItsDirectory(oldPath, newPath);
    NoteOutcome(names, u"", oldPath, walked ? newPath : oldPath);
  }
  retracing = false;
  counters = kept;
  if (!changed || !walked) return path;
  return endsInSeparator ? newPath + platform::kPathSeparator : newPath;
}

void WalkFilesAt(const std::u16string& path, const std::u16string& diskPath, bool retrace);

// The file pass over the subdirectories of the directory at path; with
// FilesComeWithSubdirectories, the names of the files the mask matches are kept in files, and
// every file of the reading is noted in names. The directory stands at
// diskPath (the preview; otherwise path); with retrace, the preview decides
// again the paths the directory pass gave its subdirectories.
// NOLINTNEXTLINE(misc-no-recursion)
void WalkSubdirectoryFiles(const std::u16string& path, const std::u16string& diskPath, bool retrace,
                           bool maskUsable, FileNames& files, DirectoryNames& names) {
  platform::DirectoryListing listing;
  if (!listing.Open(diskPath + options.subdirPattern)) return;
  const bool keepFiles = FilesComeWithSubdirectories() && maskUsable;
  DirectoryNames subdirs;  // the preview: the directory pass's record, kept again
  subdirs.kind = EntryKind::Directory;
  if (retrace) {
    subdirs.path = path;
    subdirs.diskPath = names.diskPath;
  }
  platform::DirEntry entry;
  while (listing.Next(entry)) {
    if (keepFiles) NotePresent(names, entry);
    if (!entry.isDirectory) {
      if (keepFiles && platform::MatchesWildcard(options.fileMask, entry.name))
        files.Add(entry.name);
      continue;
    }
    if (platform::IsDotName(entry.name) || walkDepth >= kWalkDepthCap) continue;
    if (!options.previewMode) {
      if (!entry.isLink) WalkFiles(path + entry.name + platform::kPathSeparator);
      continue;
    }
    // A link has its rename step in the directory pass, so it takes part.
    bool walked = retrace;
    std::u16string subdir = path + entry.name + platform::kPathSeparator;
    if (retrace) subdir = RetracedPath(subdir, &subdirs, walked);
    if (!entry.isLink) {
      WalkFilesAt(subdir, diskPath + entry.name + platform::kPathSeparator, walked);
    }
  }
}

// The files of the directory at path by a listing of the mask; the
// directory stands at diskPath.
void ProcessListedFiles(const std::u16string& path, const std::u16string& diskPath,
                        DirectoryNames& names) {
  platform::DirectoryListing listing;
  if (!listing.Open(diskPath + options.fileMask)) return;
  RenamedPaths renamedHere;
  platform::DirEntry entry;
  while (NextEntry(names, listing, options.fileMask, entry)) {
    if (entry.isDirectory) continue;
    if (!renamedHere.empty() &&
        renamedHere.count(fileBuffers.path.assign(path).append(entry.name)) != 0) {
      continue;
    }
    ProcessFile(path, entry.name, renamedHere, names, fileBuffers);
  }
}

// Subdirectories first, then this directory's files, which stand at
// diskPath (only the preview's differs from path); the recursion is bounded
// by kWalkDepthCap.
// NOLINTNEXTLINE(misc-no-recursion)
void WalkFilesAt(const std::u16string& path, const std::u16string& diskPath, bool retrace) {
  ++walkDepth;
  // A mask with a separator would list another folder: it matches no file.
  const bool maskUsable = !platform::HoldsPathSeparator(options.fileMask);
  const std::size_t firstName = fileNames.ends.size();
  const std::size_t namesSize = fileNames.text.size();
  DirectoryNames names;
  names.path = path;
  if (options.previewMode && diskPath != path) names.diskPath = diskPath;
  if (options.includeSubdirs) {
    WalkSubdirectoryFiles(path, diskPath, retrace, maskUsable, fileNames, names);
  }
  if (FilesComeWithSubdirectories()) {
    RenamedPaths renamedHere;
    for (std::size_t i = firstName; i < fileNames.ends.size(); ++i) {
      fileNames.Get(i, fileBuffers.name);
      ProcessFile(path, fileBuffers.name, renamedHere, names, fileBuffers);
    }
  } else if (maskUsable) {
    ProcessListedFiles(path, diskPath, names);
  }
  fileNames.ends.resize(firstName);
  fileNames.text.resize(namesSize);
  --walkDepth;
}

}  // namespace

// NOLINTNEXTLINE(misc-no-recursion)
void WalkFiles(const std::u16string& path) {
  if (!options.previewMode) return WalkFilesAt(path, path, false);
  // The run renames the start directory in its directory pass and then
  // finds nothing at its old path.
  bool walked = true;
  if (RetracedPath(path, nullptr, walked) != path) return;
  WalkFilesAt(path, path, walked);
}

}  // namespace renamer
