// The journal of a working run: its text format, and the record written
// before each rename.
//
// One line each, UTF-8, CR LF:
//   namescourer journal <TAB> 1 <TAB> build <TAB> start directory
//     (a preview's plan: "namescourer plan" instead of "namescourer journal",
//     so that no build that cannot tell a plan from a journal takes it back)
//   D|F <TAB> old path <TAB> new path       (a directory or file rename)
//   E <TAB> rename failed                   (the rename just above failed)
// SPDX-License-Identifier: MIT
#include <string>
#include <vector>

#include "renamer/renamer.h"

namespace renamer {

const char16_t* const kJournalVersion = u"1";

namespace {

const char16_t kMagic[] = u"namescourer journal";
const char16_t kPlanMagic[] = u"namescourer plan";
const char16_t kFailureMark[] = u"E\trename failed";
const char16_t kHexDigits[] = u"0123456789ABCDEF";

void AppendHex(std::u16string& out, char16_t prefix, std::uint32_t value, int digits) {
  out += u'\\';
  out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += kHexDigits[(value >> shift) & 0xF];
}

// Characters that would break a line or turn it around on the screen, and
// the byte-order mark.
bool IsInvisible(char16_t c) { return platform::IsLineControl(c) || c == 0xFEFF; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// The value of `digits` hex digits at text[at]; -1 when they are not there.
std::int32_t HexAt(const std::u16string& text, std::size_t at, int digits) {
  if (at + static_cast<std::size_t>(digits) > text.size()) return -1;
  std::int32_t value = 0;
  for (int k = 0; k < digits; ++k) {
    const int digit = HexValue(text[at + static_cast<std::size_t>(k)]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

std::vector<std::u16string> SplitAtTabs(const std::u16string& line) {
  std::vector<std::u16string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find(u'\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::u16string::npos) return fields;
    start = tab + 1;
  }
}

std::string JournalName() { return platform::EncodeUtf8(options.journalFileName); }

// Hands one line to the system at once, or stops the run.
void WriteJournalBytes(const std::string& bytes) {
  if (!journal.file.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) {
    throw platform::IoError(JournalName() + ": " + platform::LastErrorText());
  }
}

void WriteJournalLine(const std::u16string& line) {
  WriteJournalBytes(platform::EncodeUtf8(line) + "\r\n");
}

std::u16string Absolute(const std::u16string& path) {
  std::u16string absolute;
  if (!platform::AbsolutePath(path, absolute)) {
    throw platform::IoError(JournalName() + ": no absolute path for " + platform::EncodeUtf8(path) +
                            ": " + platform::LastErrorText());
  }
  return absolute;
}

}  // namespace

// After escaping, no lone surrogate is left, so the UTF-8 form is exact.
std::u16string EscapeJournalName(const std::u16string& name) {
  std::u16string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c == u'\\') {
      out += u"\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      AppendHex(out, u'x', c, 2);
    } else if (platform::IsSurrogatePairAt(name, i)) {
      out += c;
      out += name[++i];
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      AppendHex(out, u'x', c - 0xDC00u, 2);  // a byte that is not UTF-8 (POSIX)
    } else if (IsInvisible(c) || platform::IsHighSurrogate(c) || platform::IsLowSurrogate(c)) {
      AppendHex(out, u'u', c, 4);  // lone surrogates: Windows names
    } else {
      out += c;
    }
  }
  return out;
}

bool UnescapeJournalName(const std::u16string& text, std::u16string& name) {
  name.clear();
  name.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\\') {
      name += text[i];
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const char16_t type = text[i + 1];
    if (type == u'\\') {
      name += u'\\';
      ++i;
    } else if (type == u'x') {
      const std::int32_t value = HexAt(text, i + 2, 2);
      if (value < 0) return false;
      name += static_cast<char16_t>(value < 0x80 ? value : 0xDC00 + value);
      i += 3;
    } else if (type == u'u') {
      const std::int32_t value = HexAt(text, i + 2, 4);
      if (value < 0) return false;
      name += static_cast<char16_t>(value);
      i += 5;
    } else {
      return false;
    }
  }
  return true;
}

JournalRecord ParseJournalLine(const std::u16string& line) {
  JournalRecord record;
  if (line.empty()) return record;
  const std::vector<std::u16string> fields = SplitAtTabs(line);
  record.type = JournalRecord::Type::Unreadable;
  if (fields[0] == u"E" && fields.size() == 2) {
    record.type = JournalRecord::Type::Failure;
  } else if ((fields[0] == u"D" || fields[0] == u"F") && fields.size() == 3 &&
             UnescapeJournalName(fields[1], record.from) &&
             UnescapeJournalName(fields[2], record.to) && !record.from.empty() &&
             !record.to.empty()) {
    record.type = JournalRecord::Type::Rename;
    record.kind = fields[0] == u"D" ? EntryKind::Directory : EntryKind::File;
  } else {
    record.from.clear();
    record.to.clear();
  }
  return record;
}

bool ParseJournalHeader(const std::u16string& line, JournalHeader& header) {
  const std::vector<std::u16string> fields = SplitAtTabs(line);
  if (fields.size() != 4 || (fields[0] != kMagic && fields[0] != kPlanMagic)) return false;
  header.plan = fields[0] == kPlanMagic;
  header.version = fields[1];
  header.build = fields[2];
  return UnescapeJournalName(fields[3], header.startDirectory);
}

void OpenJournal(const std::u16string& startDirectory) {
  if (options.journalFileName.empty() || (options.debugMode && !options.previewMode)) return;
  if (!journal.file.CreateNew(options.journalFileName)) {
    throw platform::IoError(JournalName() + ": " + platform::LastErrorText() +
                            " (a journal is always a new file)");
  }
  journal.open = true;
  WriteJournalLine(std::u16string(options.previewMode ? kPlanMagic : kMagic) + u'\t' +
                   kJournalVersion + u'\t' + platform::kBuildName + u'\t' +
                   EscapeJournalName(Absolute(startDirectory)));
}

namespace {

// Writes the record of the rename from -> to; false, writing nothing, when
// the record is longer than kMaxJournalLine.
bool WriteRecord(EntryKind kind, const std::u16string& from, const std::u16string& to) {
  const std::string record = platform::EncodeUtf8((kind == EntryKind::Directory ? u"D\t" : u"F\t") +
                                                  EscapeJournalName(Absolute(from)) + u'\t' +
                                                  EscapeJournalName(Absolute(to))) +
                             "\r\n";
  if (record.size() > kMaxJournalLine) return false;
  WriteJournalBytes(record);
  return true;
}

}  // namespace

bool JournaledRename(EntryKind kind, const std::u16string& from, const std::u16string& to) {
  if (!journal.open) return platform::RenameNoReplace(from, to);
  // An undo would refuse it as no record: the rename is not made.
  if (!WriteRecord(kind, from, to)) return false;
  if (platform::RenameNoReplace(from, to)) return true;
  WriteJournalLine(kFailureMark);
  return false;
}

bool PlanRename(EntryKind kind, const std::u16string& from, const std::u16string& to, bool fails) {
  if (!journal.open) return !fails;
  if (!WriteRecord(kind, from, to)) return false;
  if (fails) WriteJournalLine(kFailureMark);
  return !fails;
}

void CloseJournal() {
  if (!journal.open) return;
  journal.open = false;
  if (journal.file.Close()) return;
  if (ReportsErrors()) WriteLine(u"ERR_CLOSE_JOURNAL: " + options.journalFileName + u".");
  ++counters.ioErrors;
}

}  // namespace renamer
