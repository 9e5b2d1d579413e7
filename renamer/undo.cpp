// The undo run (-u): the records of a journal, last to first, each renamed
// back where the entry still stands under its new name and the old name is
// free.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <string>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

namespace {

constexpr std::size_t kChunk = 65536;
constexpr std::size_t kMaxHeader = 1u << 20;

std::string Utf8(const std::u16string& name) { return platform::EncodeUtf8(name); }

// Reads a journal's lines from the last to the first without holding more
// than a chunk and one line: the bytes not yet returned that are held lie
// in `pending`, which starts at file offset `position`.
struct JournalReader {
  platform::ByteFile file;
  std::u16string name;
  std::uint64_t dataStart = 0;  // the first byte after the header line
  std::uint64_t position = 0;
  std::string pending;

  [[noreturn]] void Fail() const {
    throw platform::IoError(Utf8(name) + ": " + platform::LastErrorText());
  }

  void ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) {
    std::vector<std::uint8_t> data(count);
    if (!file.Seek(offset) || !file.Read(data.data(), count)) Fail();
    bytes.assign(data.begin(), data.end());
  }

  // Opens the journal and checks its header; throws when it is none that
  // this build can take back.
  JournalHeader Open(const std::u16string& fileName) {
    name = fileName;
    std::uint64_t size = 0;
    if (!file.OpenRead(name) || !file.Size(size)) Fail();
    std::string head;
    ReadAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(size, kMaxHeader)), head);
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

  // The line before those returned so far; false at the header. complete
  // tells whether it ends in a line end (only the last line may not).
  bool Previous(std::string& line, bool& complete) {
    for (;;) {
      if (!pending.empty()) {
        complete = pending.back() == '\n';
        const std::size_t limit = pending.size() - (complete ? 1 : 0);
        const std::size_t lineEnd = limit == 0 ? std::string::npos : pending.rfind('\n', limit - 1);
        if (lineEnd != std::string::npos || position == dataStart) {
          const std::size_t begin = lineEnd == std::string::npos ? 0 : lineEnd + 1;
          line.assign(pending, begin, limit - begin);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          pending.resize(begin);
          return true;
        }
      } else if (position == dataStart) {
        return false;
      }
      const std::uint64_t start = position - std::min<std::uint64_t>(position - dataStart, kChunk);
      std::string chunk;
      ReadAt(start, static_cast<std::size_t>(position - start), chunk);
      pending.insert(0, chunk);
      position = start;
    }
  }
};

std::u16string Tag(const char16_t* prefix, EntryKind kind) {
  return prefix + std::u16string(kind == EntryKind::Directory ? u"DIR: " : u"FILE: ");
}

std::u16string Step(const JournalRecord& record) { return record.to + u" -> " + record.from; }

void NothingToDo(const std::u16string& what, const char16_t* reason) {
  ++undoCounters.nothingToDo;
  if (ReportsDetails()) WriteLine(what + u" (" + reason + u")");
}

void Refused(const std::u16string& what, const char16_t* reason) {
  ++undoCounters.refused;
  if (ReportsErrors()) WriteLine(what + u" (" + reason + u")");
}

// One rename of the journal: back when its entry stands under the new name
// and the old one is free; anything else is left as it is.
void UndoRecord(const JournalRecord& record, bool complete, bool failedInRun) {
  const std::u16string skip = Tag(u"SKIP_UNDO ", record.kind) + Step(record);
  const std::u16string refuse = Tag(u"ERR_UNDO ", record.kind) + Step(record);
  // A rename comes only after its record is written whole.
  if (!complete) return NothingToDo(skip, u"incomplete record");
  if (failedInRun) return NothingToDo(skip, u"the rename failed in the run");
  const bool newThere = platform::EntryExists(record.to);
  const bool oldThere = platform::EntryExists(record.from);
  if (!newThere && oldThere) return NothingToDo(skip, u"not renamed");
  if (!newThere) return Refused(refuse, u"neither name exists");
  if (oldThere) return Refused(refuse, u"the old name is taken");
  if (!options.debugMode && !JournaledRename(record.kind, record.to, record.from)) {
    return Refused(refuse, u"the rename back failed");
  }
  ++undoCounters.takenBack;
  if (record.kind == EntryKind::File) AddToFileList(record.from);
  if (ReportsDetails()) WriteLine(Tag(u"UNDO ", record.kind) + Step(record));
}

}  // namespace

std::uint32_t RunUndo() {
  JournalReader reader;
  const JournalHeader header = reader.Open(options.undoFileName);
  OpenJournal(header.startDirectory);
  OpenFileList();
  WriteLine(u"--NAME SCOURER--");
  // The renames back resolve nothing through a link below the start
  // directory, as the run's did. A start directory that the run renamed
  // itself is not there under its old name: then the system resolves the
  // paths as it would without a root.
  (void)platform::SetWalkRoot(header.startDirectory);
  std::string bytes;
  bool complete = true;
  bool failureMark = false;  // the line after the record at hand marks it failed
  while (reader.Previous(bytes, complete)) {
    const std::u16string line = platform::DecodeUtf8(bytes);
    const JournalRecord record = ParseJournalLine(line);
    const bool failedInRun = failureMark;
    failureMark = record.type == JournalRecord::Type::Failure;
    if (record.type == JournalRecord::Type::Failure || record.type == JournalRecord::Type::Empty) {
      continue;
    }
    ++undoCounters.records;
    if (record.type == JournalRecord::Type::Rename) {
      UndoRecord(record, complete, failedInRun);
    } else if (!complete) {
      NothingToDo(u"SKIP_UNDO RECORD: " + line, u"incomplete record");
    } else {
      Refused(u"ERR_UNDO RECORD: " + line, u"unreadable record");
    }
    complete = true;
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
