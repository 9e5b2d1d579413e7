// The undo run (-u): the records of a journal, last to first, each renamed
// back where the entry still stands under its new name and the old name is
// free. Every test and rename is resolved below the journal's start
// directory, as the walk resolves its own.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

namespace {

constexpr std::size_t kChunk = 65536;
constexpr std::size_t kMaxHeader = 1u << 20;

std::string Utf8(const std::u16string& name) { return platform::EncodeUtf8(name); }

// One line of a journal after its header: where it starts, its length
// without the line end, whether a line end closes it, and its bytes without
// the line end, unless it is too long for a record (then none).
struct JournalLine {
  std::string bytes;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool complete = false;
  bool TooLong() const { return length + 2 > kMaxJournalLine; }
};

// Reads a journal's lines, from the last to the first or from a given one
// on, in time linear in the bytes it reads and memory bounded by a chunk
// and one record. The lines before `position` are not returned yet.
struct JournalReader {
  platform::ByteFile file;
  std::u16string name;
  std::uint64_t size = 0;
  std::uint64_t dataStart = 0;  // the first byte after the header line
  std::uint64_t position = 0;
  std::string block;  // bytes of the file from blockStart on
  std::uint64_t blockStart = 0;

  [[noreturn]] void Fail() const {
    throw platform::IoError(Utf8(name) + ": " + platform::LastErrorText());
  }

  void ReadAt(std::uint64_t offset, std::uint64_t count, std::string& bytes) {
    bytes.resize(static_cast<std::size_t>(count));
    if (!file.Seek(offset) ||
        !file.Read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size())) {
      Fail();
    }
  }

  bool Holds(std::uint64_t at) const { return at >= blockStart && at - blockStart < block.size(); }

  // Makes the block hold the byte at `at` and, when it is read anew, the
  // chunk of the records that ends with it: reading backwards, each chunk
  // is read once, whatever the lengths of its lines.
  void HoldBackward(std::uint64_t at) {
    if (Holds(at)) return;
    const std::uint64_t from = at + 1 - std::min<std::uint64_t>(at + 1 - dataStart, kChunk);
    ReadAt(from, at + 1 - from, block);
    blockStart = from;
  }

  // The same, reading forwards: the chunk that starts with the byte.
  void HoldForward(std::uint64_t at) {
    if (Holds(at)) return;
    ReadAt(at, std::min<std::uint64_t>(size - at, kChunk), block);
    blockStart = at;
  }

  void Bytes(std::uint64_t begin, std::uint64_t end, std::string& bytes) {
    if (begin >= blockStart && end <= blockStart + block.size()) {
      bytes.assign(block, static_cast<std::size_t>(begin - blockStart),
                   static_cast<std::size_t>(end - begin));
    } else {
      ReadAt(begin, end - begin, bytes);
    }
  }

  // Fills in the line [begin, end) and whether a line end follows it.
  void Take(std::uint64_t begin, std::uint64_t end, bool complete, JournalLine& line) {
    line.offset = begin;
    line.length = end - begin;
    line.complete = complete;
    line.bytes.clear();
    if (line.TooLong()) return;
    Bytes(begin, end, line.bytes);
    if (!line.bytes.empty() && line.bytes.back() == '\r') line.bytes.pop_back();
  }

  // Opens the journal and checks its header; throws when it is none that
  // this build can take back.
  JournalHeader Open(const std::u16string& fileName) {
    name = fileName;
    if (!file.OpenRead(name) || !file.Size(size)) Fail();
    // A run killed between creating its journal and writing the header
    // leaves an empty file: it renamed nothing.
    if (size == 0) return JournalHeader{};
    std::string head;
    ReadAt(0, std::min<std::uint64_t>(size, kMaxHeader), head);
    const std::size_t end = head.find('\n');
    JournalHeader header;
    std::string line = head.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A header without its line end is whole all the same when the file
    // holds nothing else: a run that stopped before its first record.
    if ((end == std::string::npos && head.size() != size) ||
        !ParseJournalHeader(platform::DecodeUtf8(line), header)) {
      throw platform::IoError(Utf8(name) + ": not a namescourer journal");
    }
    if (header.plan) {
      throw platform::IoError(Utf8(name) +
                              ": a plan written by a preview (-p 1); nothing was renamed, so "
                              "there is nothing to take back");
    }
    if (header.version != kJournalVersion) {
      throw platform::IoError(Utf8(name) + ": journal format version " + Utf8(header.version) +
                              "; this program takes back version " + Utf8(kJournalVersion));
    }
    if (header.build != platform::kBuildName) {
      throw platform::IoError(Utf8(name) + ": a journal of a " + Utf8(header.build) +
                              " build; this is a " + Utf8(platform::kBuildName) + " build");
    }
    dataStart = end == std::string::npos ? size : end + 1;
    position = size;
    return header;
  }

  // The line before those returned so far; false at the header.
  bool Previous(JournalLine& line) {
    if (position == dataStart) return false;
    std::uint64_t end = position;
    HoldBackward(end - 1);
    const bool complete = block[static_cast<std::size_t>(end - 1 - blockStart)] == '\n';
    if (complete) --end;
    std::uint64_t begin = end;
    while (begin > dataStart) {
      HoldBackward(begin - 1);
      const auto upto = static_cast<std::size_t>(begin - blockStart);
      const std::size_t at = block.rfind('\n', upto - 1);
      if (at != std::string::npos) {
        begin = blockStart + at + 1;
        break;
      }
      begin = blockStart;
    }
    Take(begin, end, complete, line);
    position = begin;
    return true;
  }

  // The line that starts at `at`, read forward; false at the end of the
  // file. `at` moves past it and its line end.
  bool Next(std::uint64_t& at, JournalLine& line) {
    if (at >= size) return false;
    std::uint64_t end = at;
    bool complete = false;
    while (end < size) {
      HoldForward(end);
      const std::size_t hit = block.find('\n', static_cast<std::size_t>(end - blockStart));
      if (hit != std::string::npos) {
        end = blockStart + hit;
        complete = true;
        break;
      }
      end = blockStart + block.size();
    }
    Take(at, end, complete, line);
    at = complete ? end + 1 : end;
    return true;
  }
};

std::u16string Tag(const char16_t* prefix, EntryKind kind) {
  return prefix + std::u16string(kind == EntryKind::Directory ? u"DIR: " : u"FILE: ");
}

std::u16string Step(const JournalRecord& record) { return record.to + u" -> " + record.from; }

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// True when path names an entry below the directory `prefix` (which ends
// in the separator) by its text alone: no "..", nor anything that leads
// elsewhere, among its parts below it.
bool Inside(const std::u16string& path, const std::u16string& prefix) {
  if (path.size() <= prefix.size() || !StartsWith(path, prefix)) return false;
  for (std::size_t at = prefix.size(); at <= path.size();) {
    std::size_t end = path.find(platform::kPathSeparator, at);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string part = path.substr(at, end - at);
    if (part == u".." || platform::HoldsPathSeparator(part)) return false;
    at = end + 1;
  }
  return true;
}

// What the journal tells of its start directory. The walk renames the
// start directory before anything else, so its own record is the first;
// in the journal of an undo, which renames it back last, it is the last.
// The records after it name paths below its new name.
struct StartDirectory {
  std::u16string path;     // as the header gives it, ending in the separator
  std::u16string renamed;  // the new name its record gives it, ending in the separator
  bool hasRecord = false;
  std::uint64_t recordOffset = 0;
  bool renamedInRun = false;  // its record is whole and not marked failed
  std::u16string present;     // where it stands now; empty when it is not found

  // The directory a record at offset names its paths below.
  const std::u16string& Expected(std::uint64_t offset) const {
    return renamedInRun && offset > recordOffset ? renamed : path;
  }
  // A path below the start directory under either name, as it stands now.
  std::u16string Now(const std::u16string& recordPath) const {
    if (!renamed.empty() && StartsWith(recordPath, renamed)) {
      return present + recordPath.substr(renamed.size());
    }
    if (StartsWith(recordPath, path)) return present + recordPath.substr(path.size());
    return recordPath;
  }
};

// True when line is the start directory's own record: a directory renamed
// from the start directory's path to another name beside it.
bool IsStartRecord(const JournalLine& line, StartDirectory& start) {
  if (line.TooLong()) return false;
  const JournalRecord record = ParseJournalLine(platform::DecodeUtf8(line.bytes));
  if (record.type != JournalRecord::Type::Rename || record.kind != EntryKind::Directory ||
      record.from + platform::kPathSeparator != start.path) {
    return false;
  }
  const std::size_t cut = record.from.rfind(platform::kPathSeparator);
  const std::size_t parentSize = cut == std::u16string::npos ? 0 : cut + 1;
  if (!Inside(record.to, record.from.substr(0, parentSize)) ||
      record.to.find(platform::kPathSeparator, parentSize) != std::u16string::npos) {
    return false;
  }
  start.renamed = record.to + platform::kPathSeparator;
  start.hasRecord = true;
  start.recordOffset = line.offset;
  return true;
}

bool IsFailureMark(const JournalLine& line) {
  return !line.TooLong() && line.bytes.rfind("E\t", 0) == 0;
}

// Finds the start directory's own record, and where the directory stands
// now: under the name the run gave it, else under the one it had.
StartDirectory FindStartDirectory(JournalReader& reader, const std::u16string& startDirectory) {
  StartDirectory start;
  start.path = startDirectory;
  if (start.path.empty() || start.path.back() != platform::kPathSeparator) {
    start.path += platform::kPathSeparator;
  }
  JournalLine line, after;
  std::uint64_t at = reader.dataStart;
  if (reader.Next(at, line) && IsStartRecord(line, start)) {
    start.renamedInRun = line.complete && !(reader.Next(at, after) && IsFailureMark(after));
  } else {
    JournalLine last;
    const bool found =
        reader.Previous(last) &&
        (IsStartRecord(last, start) ||
         (IsFailureMark(last) && reader.Previous(line) && IsStartRecord(line, start)));
    start.renamedInRun = found && IsStartRecord(last, start) && last.complete;
    reader.position = reader.size;
  }
  if (start.renamedInRun && platform::SetWalkRoot(start.renamed)) {
    start.present = start.renamed;
  } else if (platform::SetWalkRoot(start.path)) {
    start.present = start.path;
  }
  return start;
}

// The journal's directory renames, by the path each gave, with where each
// record starts and the path it renamed; made when first needed.
struct DirectoryRenames {
  bool made = false;
  std::unordered_map<std::u16string, std::vector<std::pair<std::uint64_t, std::u16string>>> byNew;

  void Make(JournalReader& reader) {
    made = true;
    JournalLine line, next;
    std::uint64_t at = reader.dataStart;
    bool pending = reader.Next(at, line);
    while (pending) {
      const bool more = reader.Next(at, next);
      if (line.complete && !line.TooLong() && line.bytes.rfind("D\t", 0) == 0 &&
          !(more && IsFailureMark(next))) {
        JournalRecord record = ParseJournalLine(platform::DecodeUtf8(line.bytes));
        if (record.type == JournalRecord::Type::Rename) {
          byNew[record.to].emplace_back(line.offset, std::move(record.from));
        }
      }
      std::swap(line, next);
      pending = more;
    }
  }

  // The path an entry had before the directory renames of the journal up
  // to `before` (an offset), when it has the path `path` after them.
  std::u16string Before(std::u16string path, std::uint64_t before) const {
    for (std::uint32_t step = 0; step <= kWalkDepthCap; ++step) {
      const std::pair<std::uint64_t, std::u16string>* latest = nullptr;
      std::size_t latestSize = 0;
      for (std::size_t cut = path.find(platform::kPathSeparator); cut != std::u16string::npos;
           cut = path.find(platform::kPathSeparator, cut + 1)) {
        const auto found = byNew.find(path.substr(0, cut));
        if (found == byNew.end()) continue;
        for (const auto& rename : found->second) {
          if (rename.first < before && (latest == nullptr || rename.first > latest->first)) {
            latest = &rename;
            latestSize = cut;
          }
        }
      }
      if (latest == nullptr) break;
      path = latest->second + path.substr(latestSize);
      before = latest->first;
    }
    return path;
  }
};

void NothingToDo(const std::u16string& what, const char16_t* reason) {
  ++undoCounters.nothingToDo;
  if (ReportsDetails()) WriteLine(what + u" (" + reason + u")");
}

void Refused(const std::u16string& what, const char16_t* reason) {
  ++undoCounters.refused;
  if (ReportsErrors()) WriteLine(what + u" (" + reason + u")");
}

// Renames to back to from; true when it did so on disk.
bool TakeBack(const JournalRecord& record, const std::u16string& from, const std::u16string& to,
              const std::u16string& refuse) {
  if (RenamesNothing() ? !PlanRename(record.kind, to, from)
                       : !JournaledRename(record.kind, to, from)) {
    Refused(refuse, u"the rename back failed");
    return false;
  }
  ++undoCounters.takenBack;
  if (record.kind == EntryKind::File) AddToFileList(from);
  if (ReportsDetails()) WriteLine(Tag(u"UNDO ", record.kind) + Step(record));
  return !RenamesNothing();
}

// The state of an undo run over one journal.
struct Undo {
  JournalReader reader;
  StartDirectory start;
  DirectoryRenames renames;
};

// The start directory's own rename, taken back in the folder that holds it.
void UndoStartRecord(StartDirectory& start, const JournalRecord& record, const std::u16string& skip,
                     const std::u16string& refuse) {
  if (start.present.empty()) return Refused(refuse, u"the start directory is not there");
  if (start.present != start.renamed) return NothingToDo(skip, u"not renamed");
  const std::u16string renamed = start.renamed.substr(0, start.renamed.size() - 1);
  if (TakeBack(record, start.path.substr(0, start.path.size() - 1), renamed, refuse)) {
    start.present = start.path;
  }
}

// One rename of the journal: back when its entry stands under the new name
// and the old one is free; anything else is left as it is.
void UndoRecord(Undo& undo, const JournalRecord& record, const JournalLine& line,
                bool failedInRun) {
  const std::u16string skip = Tag(u"SKIP_UNDO ", record.kind) + Step(record);
  const std::u16string refuse = Tag(u"ERR_UNDO ", record.kind) + Step(record);
  // A rename comes only after its record is written whole.
  if (!line.complete) return NothingToDo(skip, u"incomplete record");
  if (failedInRun) return NothingToDo(skip, u"the rename failed in the run");
  StartDirectory& start = undo.start;
  if (start.hasRecord && line.offset == start.recordOffset) {
    return UndoStartRecord(start, record, skip, refuse);
  }
  const std::u16string& expected = start.Expected(line.offset);
  if (!Inside(record.from, expected) || !Inside(record.to, expected)) {
    return Refused(refuse, u"outside the start directory");
  }
  if (start.present.empty()) return Refused(refuse, u"the start directory is not there");
  const std::u16string from = start.Now(record.from), to = start.Now(record.to);
  bool directory = false;
  const bool newThere = platform::EntryExists(to, directory);
  const bool oldThere = platform::EntryExists(from);
  if (!newThere && oldThere) return NothingToDo(skip, u"not renamed");
  if (!newThere) {
    // Taken back already, by an undo before this one, when the entry has
    // its old path once its directories have theirs.
    if (!undo.renames.made) undo.renames.Make(undo.reader);
    const std::u16string fromBefore = start.Now(undo.renames.Before(record.from, line.offset));
    const std::u16string toBefore = start.Now(undo.renames.Before(record.to, line.offset));
    if (platform::EntryExists(fromBefore) && !platform::EntryExists(toBefore)) {
      return NothingToDo(skip, u"already taken back");
    }
    return Refused(refuse, u"neither name exists");
  }
  if (oldThere) return Refused(refuse, u"the old name is taken");
  if (record.kind == EntryKind::Directory && !directory) {
    return Refused(refuse, u"not a directory on disk");
  }
  if (record.kind == EntryKind::File && directory) return Refused(refuse, u"a directory on disk");
  (void)TakeBack(record, from, to, refuse);
}

}  // namespace

std::uint32_t RunUndo() {
  Undo undo;
  const JournalHeader header = undo.reader.Open(options.undoFileName);
  const bool emptyJournal = undo.reader.size == 0;
  if (!emptyJournal) {
    undo.start = FindStartDirectory(undo.reader, header.startDirectory);
    // The journal of this undo starts from where the start directory stands.
    OpenJournal(undo.start.present.empty() ? header.startDirectory : undo.start.present);
  }
  OpenFileList();
  WriteLine(u"--NAME SCOURER--");
  if (emptyJournal) {
    NothingToDo(u"SKIP_UNDO JOURNAL: " + options.undoFileName,
                u"empty: its run stopped before its first rename");
  }
  JournalLine line;
  bool failureMark = false;  // the line after the record at hand marks it failed
  while (undo.reader.Previous(line)) {
    const bool failedInRun = failureMark;
    if (line.TooLong()) {
      failureMark = false;
      ++undoCounters.records;
      Refused(u"ERR_UNDO RECORD: a line of " + platform::Decimal(line.length) + u" bytes",
              u"longer than any record");
      continue;
    }
    const std::u16string text = platform::DecodeUtf8(line.bytes);
    const JournalRecord record = ParseJournalLine(text);
    failureMark = record.type == JournalRecord::Type::Failure;
    if (record.type == JournalRecord::Type::Failure || record.type == JournalRecord::Type::Empty) {
      continue;
    }
    ++undoCounters.records;
    if (record.type == JournalRecord::Type::Rename) {
      UndoRecord(undo, record, line, failedInRun);
    } else if (!line.complete) {
      NothingToDo(u"SKIP_UNDO RECORD: " + text, u"incomplete record");
    } else {
      Refused(u"ERR_UNDO RECORD: " + text, u"unreadable record");
    }
  }
  platform::ClearWalkRoot();
  CloseJournal();
  PrintUndoSettings(header.startDirectory);
  PrintUndoStatistics();
  CloseFileList();
  const std::uint32_t exitCode =
      undoCounters.refused != 0 ? undoCounters.refused : counters.ioErrors;
  CloseLog();
  return exitCode;
}

}  // namespace renamer
