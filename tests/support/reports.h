// The lines each program prints, as the tests expect them: every settings
// and statistics label in one place, and builders for whole blocks.
// SPDX-License-Identifier: MIT
#ifndef TESTS_SUPPORT_REPORTS_H
#define TESTS_SUPPORT_REPORTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

/// namescourer's fixed lines and labels, in printed order.
namespace namescourer {
inline constexpr char16_t kBanner[] = u"--NAME SCOURER--";
inline constexpr char16_t kRule[] = u"----------------";
// the settings block
inline constexpr char16_t kInitialPath[] = u"   Initial path: ";
inline constexpr char16_t kInclSubdirs[] = u"  Incl. subdirs: ";
inline constexpr char16_t kFilenameMask[] = u"  Filename mask: ";
inline constexpr char16_t kReplaceConf[] = u"   Replace conf: ";
inline constexpr char16_t kRuleCount[] = u" Repl.rules qty: ";
inline constexpr char16_t kDebugRenaming[] = u" Debug Renaming: ";
inline constexpr char16_t kLogging[] = u"        Logging: ";
inline constexpr char16_t kLogLevel[] = u"       Loglevel: ";
inline constexpr char16_t kLogFilename[] = u"   Log filename: ";
inline constexpr char16_t kFilelistName[] = u"  Filelist name: ";
inline constexpr char16_t kFilelistMake[] = u"  Filelist make: ";
// the statistics
inline constexpr char16_t kTotalFiles[] = u"    Total Files: ";
inline constexpr char16_t kRenamedDirs[] = u"   Renamed Dirs: ";
inline constexpr char16_t kRenamedFiles[] = u"  Renamed Files: ";
inline constexpr char16_t kUtfDirs[] = u"       UTF Dirs: ";
inline constexpr char16_t kUtfFiles[] = u"      UTF Files: ";
inline constexpr char16_t kForbiddenUtfDirs[] = u"Forbid.UTF Dirs: ";
inline constexpr char16_t kForbiddenUtfFiles[] = u"ForbidUTF Files: ";
inline constexpr char16_t kExceedReplaces[] = u"Exceed replaces: ";
inline constexpr char16_t kExceedSubdirs[] = u" Exceed subdirs: ";
inline constexpr char16_t kIoErrors[] = u"  IN/OUT errors: ";
// the statistics row of -w 1
inline constexpr char16_t kWindowsNames[] = u"  Windows names: ";
// the settings rows of -j and -u
inline constexpr char16_t kJournalFile[] = u"   Journal file: ";
inline constexpr char16_t kUndoJournal[] = u"   Undo journal: ";
inline constexpr char16_t kJournalStart[] = u"  Journal start: ";
// the statistics of an undo
inline constexpr char16_t kRecords[] = u"        Records: ";
inline constexpr char16_t kTakenBack[] = u"     Taken back: ";
inline constexpr char16_t kNothingToDo[] = u"  Nothing to do: ";
inline constexpr char16_t kRefused[] = u"        Refused: ";
}  // namespace namescourer

/// zxraster's fixed lines and labels, in printed order.
namespace zxraster {
inline constexpr char16_t kRule[] = u"----------";
inline constexpr char16_t kInFile[] = u"  In File: ";
inline constexpr char16_t kOutFile[] = u"  OutFile: ";
inline constexpr char16_t kLogFile[] = u"  LogFile: ";
inline constexpr char16_t kPaletteFile[] = u" Pal.File: ";
inline constexpr char16_t kLogging[] = u"  Logging: ";
inline constexpr char16_t kIdxColor[] = u"Idx Color: ";
inline constexpr char16_t kTrueColor[] = u"TrueColor: ";
inline constexpr char16_t kFormat[] = u"   Format: ";
inline constexpr char16_t kScale[] = u"    Scale: ";
inline constexpr char16_t kFlash[] = u"    Flash: ";
inline constexpr char16_t kScreen[] = u"   Screen: ";
inline constexpr char16_t kOwnPalette[] = u"  Palette: the screen's own; -p ignored";
inline constexpr char16_t kIoErrors[] = u"IOERRORS: ";
}  // namespace zxraster

// ------------------------------------------------------------- namescourer

/// The values of namescourer's settings block, as printed; the defaults are
/// those of a run with no option but its own.
struct RenamerSettings {
  std::u16string workDir, subdirs = u"yes", mask = u"*.*", rules = u"*", ruleCount = u"0",
                          debug = u"no", logging = u"no", level = u"0", logName, listName,
                          listMake = u"no";
};

/// The settings block and its rule.
std::vector<std::u16string> RenamerSettingsRows(const RenamerSettings& s);

/// The statistics of a run that found no file, with `ioErrors`, and the rule.
std::vector<std::u16string> RenamerEmptyStatisticsRows(std::uint32_t ioErrors);

/// The renamer's walk lines: those between its banner and its settings
/// block; the one line "<no summary>" when either is missing.
std::vector<std::u16string> WalkLines(const std::vector<std::u16string>& lines);

/// The renamer's lines for one rename at level 2 (`kind` "Dir" or "File"):
/// "Old <kind>:<from>", "New <kind>:<to>", "----".
std::vector<std::u16string> RenameLines(const std::u16string& kind, const std::u16string& from,
                                        const std::u16string& to);

/// The same for a rename that failed (`kind` "DIR" or "FILE"): the
/// "ERR_EXCEPTION <kind> OLD:" and "ERR_EXCEPTION <kind> NEW:" lines, "----".
std::vector<std::u16string> FailedRenameLines(const std::u16string& kind,
                                              const std::u16string& from, const std::u16string& to);

// ---------------------------------------------------------------- zxraster

/// What zxraster's settings block shows besides the file names.
enum ZxrasterFlags : unsigned { kTrueColor = 0, kIndexedColor = 1, kLogging = 2 };

/// What zxraster prints first: its settings, then a rule.
std::vector<std::u16string> ZxrasterSettings(const std::u16string& in, const std::u16string& out,
                                             unsigned flags = kTrueColor,
                                             const std::u16string& log = u"",
                                             const std::u16string& palette = u"");

/// The settings with the three picture lines (-f, -s, -a as given, or
/// their defaults) before the rule, as printed when any of them is given.
std::vector<std::u16string> ZxrasterPictureSettings(std::vector<std::u16string> settings,
                                                    const std::u16string& format,
                                                    const std::u16string& scale,
                                                    const std::u16string& flash);

/// What zxraster ends with: its error count, then a rule.
std::vector<std::u16string> ZxrasterSummary(std::uint32_t ioErrors);

/// A screen file in which every attribute value 0..255 occurs and the
/// bitmap has both ink and paper in every cell.
std::string TestScreen();

}  // namespace testsupport

#endif  // TESTS_SUPPORT_REPORTS_H
