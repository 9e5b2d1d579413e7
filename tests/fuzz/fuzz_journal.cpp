// The journal's text form: every name comes back from its escaped form
// exactly, and that form can stand in a journal line (UTF-8 without control
// characters, tabs or lone surrogates); any line parses without harm, and a
// record written again from what was read parses the same.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "renamer/renamer.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string name = fuzz::CodeUnits(data, size);
  const std::u16string escaped = renamer::EscapeJournalName(name);
  for (const char16_t c : escaped) {
    FUZZ_CHECK(c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F),
               "control character escaped as itself in " + fuzz::Show(name));
  }
  const std::u16string read = platform::DecodeUtf8(platform::EncodeUtf8(escaped));
  FUZZ_CHECK(read == escaped, "escaped form is not plain UTF-8 for " + fuzz::Show(name));
  std::u16string back;
  FUZZ_CHECK(renamer::UnescapeJournalName(read, back) && back == name,
             "no round trip for " + fuzz::Show(name));

  const renamer::JournalRecord record =
      renamer::ParseJournalLine(platform::DecodeUtf8(fuzz::Bytes(data, size)));
  if (record.type == renamer::JournalRecord::Type::Rename) {
    const std::u16string line = (record.kind == renamer::EntryKind::Directory ? u"D\t" : u"F\t") +
                                renamer::EscapeJournalName(record.from) + u"\t" +
                                renamer::EscapeJournalName(record.to);
    const renamer::JournalRecord again = renamer::ParseJournalLine(line);
    FUZZ_CHECK(again.type == record.type && again.kind == record.kind &&
                   again.from == record.from && again.to == record.to,
               "a record written again reads otherwise: " + fuzz::Show(line));
  }
  return 0;
}
