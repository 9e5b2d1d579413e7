// namescourer: the records of a run and the operations over them.
//
// One process-wide instance of each record, defined with the driver in
// run.cpp.
// All text is UTF-16; lengths and positions count code units.
// SPDX-License-Identifier: MIT
#ifndef RENAMER_RENAMER_H
#define RENAMER_RENAMER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace renamer {

/// The settings of the run: defaults, then the command line, then read-only.
struct RenamerOptions {
  std::u16string workDir;            ///< empty (current directory) or ends in the separator
  std::u16string fileMask = u"*.*";  ///< mask of the file pass
  std::u16string subdirPattern = u"*.*";
  std::u16string ruleFileName = u"*";  ///< "*" names no file
  std::u16string logFileName;          ///< empty: no log
  std::u16string fileListName;         ///< empty: no file list
  std::u16string journalFileName;      ///< empty: no journal
  std::u16string undoFileName;         ///< not empty: undo this journal instead of a walk
  std::uint32_t logLevel = 0;          ///< 0 none, 1 errors and warnings, 2+ renames too
  /// Walk subdirectories too; false when the -d value starts with "-".
  bool includeSubdirs = true;
  bool debugMode = false;  ///< decide and report, rename nothing
  /// -w 1: also make names that Windows can hold (composed accents, no
  /// trailing dot or blank, no device name, at most 255 code units, and
  /// names of one directory that differ only in case told apart).
  bool windowsNames = false;
  /// -p 1: rename nothing, as debug mode, but walk every directory under
  /// its present name while naming each path as the working run would
  /// after the renames above it; with -j the journal is written as a plan.
  bool previewMode = false;
};

/// The statistics of the run, printed in this order.
struct RenamerCounters {
  std::uint32_t totalFiles = 0;
  std::uint32_t dirRenames = 0;
  std::uint32_t fileRenames = 0;
  std::uint32_t utfDirs = 0;
  std::uint32_t utfFiles = 0;
  std::uint32_t forbiddenUtfDirs = 0;
  std::uint32_t forbiddenUtfFiles = 0;
  std::uint32_t exceededReplaces = 0;
  std::uint32_t exceededSubdirs = 0;
  std::uint32_t ioErrors = 0;
  /// Names that -w changed; printed only with -w 1.
  std::uint32_t windowsNames = 0;
};

/// The log and the file list; each is in use while IsOpen(). One whose
/// close failed to write out its buffer stays open.
struct RenamerOutput {
  platform::OutputTextFile log;
  platform::OutputTextFile fileList;
};

/// The journal a working run writes (-j); in use while `open`.
struct RenamerJournal {
  platform::ByteFile file;
  bool open = false;
};

/// The counts of an undo run (-u).
struct UndoCounters {
  std::uint32_t records = 0;
  std::uint32_t takenBack = 0;
  std::uint32_t nothingToDo = 0;
  std::uint32_t refused = 0;
};

constexpr std::uint32_t kRuleCapacity = 4096;

/// The search/replacement pairs of the rule file, in file order.
struct RuleList {
  std::uint32_t ruleCount = 0;
  std::u16string searchText[kRuleCapacity];
  std::u16string replaceText[kRuleCapacity];
};

constexpr std::uint32_t kReplaceCap = 1024;  ///< substitutions per rule and name
/// Units by which the rules together may lengthen one text (a file's name,
/// a directory's path) over its length before the first rule: no file
/// system holds a path grown by more.
constexpr std::size_t kMaxGrowth = 32767;
constexpr std::uint32_t kUniqueTries = 2048;  ///< candidates of MakeUniqueName
constexpr std::uint32_t kWalkDepthCap = 512;  ///< deepest directory walked

// The process-wide state of the run.
extern RenamerOptions options;
extern RenamerCounters counters;
extern RenamerOutput output;
extern RuleList rules;
extern RenamerJournal journal;
extern UndoCounters undoCounters;
/// Substitutions made by the ApplyRule call under way (0 between calls).
extern std::uint32_t replaceDepth;
extern std::uint32_t walkDepth;  ///< directories being walked, one inside the other
/// The preview's file pass is deciding a directory's path again: its lines
/// and counts were made in the directory pass.
extern bool retracing;
/// Debug mode with -w 1: the name the directory pass would have given each
/// directory it would have renamed, by its path, for the file pass, which
/// meets the directory under its old name; each goes when the file pass
/// has met it.
extern std::unordered_map<std::u16string, std::u16string> foreseenDirNames;

// The gates of the log level (0 to 9). Level 0 keeps the log closed and
// writes no error, warning or renaming message.
/// Level 1 and above: the log takes every line written.
inline bool UsesLog() { return options.logLevel >= 1; }
/// Level 1 and above: errors and warnings are written.
inline bool ReportsErrors() { return options.logLevel >= 1 && !retracing; }
/// Level 2 and above: the renaming information and the file list's own
/// errors are written too.
inline bool ReportsDetails() { return options.logLevel >= 2 && !retracing; }

/// Debug mode and the preview leave the disk as it is.
inline bool RenamesNothing() { return options.debugMode || options.previewMode; }

/// Resets every record to its start value (the driver's defaults; tests).
void ResetRun();

// driver (run.cpp)
/// The whole run after the defaults; returns the exit code.
std::uint32_t RunRenamer();

// summaries and usage (summaries.cpp)
/// "yes" or "no".
std::u16string YesNo(bool flag);
/// Writes the settings summary and its closing rule.
void PrintSettings();
/// Writes the statistics and their closing rule.
void PrintStatistics();
/// Writes the usage text.
void PrintUsage();
/// The settings row of -j, which says that debug mode writes no journal.
void PrintJournalSetting();
/// The settings and the counts of an undo run, each with its closing rule.
void PrintUndoSettings(const std::u16string& startDirectory);
void PrintUndoStatistics();

// command line (command_line.cpp)
/// Fills the options from the argument list (platform::FindOptionValue).
void ParseCommandLine();

// console, log and file list (output.cpp)
/// Prints a line on the console and, at a log level above 0, in the log.
/// Throws platform::IoError when a write fails.
void WriteLine(const std::u16string& text);
void OpenLog();
void CloseLog();
void OpenFileList();
/// Writes a path to the file list if it is open. Throws platform::IoError.
void AddToFileList(const std::u16string& path);
void CloseFileList();

// rule file (rules.cpp)
/// Reads the rule file into `rules`. A missing file gives no rules; a file
/// that exists but cannot be read throws platform::IoError.
void LoadRules();

// name rewriting (rewrite.cpp)
enum class EntryKind { Directory, File };

/// Repeated leftmost substitution of search by replacement in text, at most
/// kReplaceCap times; a lengthening substitution that would leave more than
/// maxLength units is not made and ends the rule (reported and counted like
/// the cap). Returns true and sets result when anything changed.
bool ApplyRule(const std::u16string& search, const std::u16string& replacement, std::u16string text,
               std::u16string& result, std::size_t maxLength);
/// ApplyRule on its own: the text may grow by kMaxGrowth units.
inline bool ApplyRule(const std::u16string& search, const std::u16string& replacement,
                      const std::u16string& text, std::u16string& result) {
  return ApplyRule(search, replacement, text, result, text.size() + kMaxGrowth);
}

/// The ANSI check and the rules over nameOrPath: a file's name alone, or a
/// directory's whole path, which the rules see entire (kept on purpose; see
/// docs/ARCHITECTURE.md). Returns the rewritten text; changed tells whether
/// it differs from the text given. Every rule runs once; together they may
/// lengthen the text by kMaxGrowth units, each rule within what the rules
/// before it left of that.
std::u16string RewriteName(EntryKind kind, const std::u16string& nameOrPath, bool& changed);
/// The same into result, whose storage is reused: the walk keeps one for
/// all the names of a directory.
void RewriteName(EntryKind kind, const std::u16string& nameOrPath, std::u16string& result,
                 bool& changed);

// ---- the unique-name step and the record of a directory's names
// (directory_names.cpp): reads `options`, counts case clashes in
// `counters`; only the walk calls them.

/// What the walk knows of the names in one directory beyond what the disk
/// shows, while it processes that directory's entries of one kind: the
/// names its renames gave and vacated there in debug mode, where the disk
/// keeps the old names, and with -w 1 the names by their FoldCase keys.
/// Memory grows with the directory's entries, never with the tree.
struct DirectoryNames {
  EntryKind kind = EntryKind::File;
  std::u16string path;  ///< the directory: empty or ending in the separator
  /// Preview: where the directory stands on disk now, when the run would
  /// have renamed it or a directory above it; empty when that is `path`.
  /// The disk is asked there about the names in it.
  std::u16string diskPath;
  /// Debug mode and the preview: what a rename would have done to a name
  /// here, keyed by the name, or where the file system ignores case by its
  /// FoldCase key.
  enum class NameState { Given, Vacated };
  std::unordered_map<std::u16string, NameState> renamed;
  /// -w 1: by FoldCase key, the entries of the kind as this run has left
  /// them, and whether the walk has kept or given that name here; filled
  /// from a listing before the first name is tested (listed).
  struct Presence {
    std::uint32_t entries = 0;
    bool settled = false;
  };
  std::unordered_map<std::u16string, Presence> present;
  bool listed = false;
  /// -w 1: two entries share a key. Only then can a name that keeps its
  /// spelling meet a settled one: a new name is tested against them all.
  bool twins = false;
  /// -w 1: the walk's own listing, read whole before the first entry is
  /// processed when its pattern matches every name (NextEntry).
  std::vector<platform::DirEntry> pending;
  std::size_t nextPending = 0;
};

/// The walk's next entry from listing, which lists the record's directory
/// by pattern. With -w 1 and a pattern that matches every name ("*.*",
/// "*"), the first call reads the whole listing and takes `present` from
/// it, so that no second listing is needed; the entries then come from
/// what it read.
bool NextEntry(DirectoryNames& names, platform::DirectoryListing& listing,
               const std::u16string& pattern, platform::DirEntry& entry);

/// -w 1: counts entry, from a whole reading of the record's directory that
/// the walk made itself, in `present`; a walk that notes every entry spares
/// the record a listing of its own. Directories and files share the keys:
/// in the file pass a directory is settled, since the directory pass is
/// over.
void NotePresent(DirectoryNames& names, const platform::DirEntry& entry);

/// Adds a counter to name until prefix + name is not taken by an entry of
/// the same kind (at most kUniqueTries candidates). With names, the record
/// of the directory that holds the entry prefix + oldName, a candidate in
/// that directory is tested as this run has left it: in debug mode a name
/// the run would have given is taken and one it would have vacated is
/// free; with -w 1 a name that differs only in case from another entry's
/// is taken too, which writes a "WARN_WIN CASE" line and counts in
/// windowsNames.
void MakeUniqueName(EntryKind kind, const std::u16string& prefix, std::u16string& name,
                    DirectoryNames* names = nullptr, const std::u16string& oldName = u"");

/// -w 1: whether the entry prefix + name, which the rewriting left as it
/// is, differs only in case from a name the walk has kept or given in its
/// directory before it; it then goes through MakeUniqueName as a changed
/// name would. Otherwise the name counts as kept from here on.
bool ClashesByCase(DirectoryNames* names, const std::u16string& prefix, const std::u16string& name);

/// Records in the record of its directory where the renamed entry prefix +
/// oldName ended up: finalName, or oldName when its rename failed. In debug
/// mode and the preview, which rename nothing, the record keeps the name as
/// given and the old one as free.
void NoteOutcome(DirectoryNames* names, const std::u16string& prefix, const std::u16string& oldName,
                 const std::u16string& finalName);

// ---- names that Windows can hold, for -w (windows_names.cpp): pure
// functions of their text; they read and change no record.
/// The canonical composed form (NFC) of text, from the generated Unicode
/// tables; a lone surrogate is kept.
std::u16string ToNfc(const std::u16string& text);
/// A bare name with each character no Windows name can hold (C0 controls,
/// < > : " \ | ? *) and its trailing dots and blanks turned into "_", "_" right
/// after a reserved device name (CON, NUL.txt, COM1 ...) and, when longer than 255
/// code units, cut between characters to leave room for the unique counter,
/// keeping an extension of up to 16 units.
std::u16string MakeWindowsName(const std::u16string& name);
/// ToNfc, or MakeWindowsName, of the own text of a file's name or of a
/// directory's path: after the last separator and, for a path, after a
/// leading drive designator ("." and ".." excepted).
std::u16string ComposeOwnName(EntryKind kind, const std::u16string& name);
std::u16string MakeOwnNameWindowsSafe(EntryKind kind, const std::u16string& name);

// tree walk and renaming (walk.cpp)
/// The directory pass; true when it renamed the start directory itself.
bool WalkDirectories(std::u16string path);
void WalkFiles(const std::u16string& path);

// ---- the journal (journal.cpp): owns `journal`; reads `options`, counts
// its close failure in `counters`. The escapes and the line format are pure.
/// A name as the journal writes it: UTF-8 text in which "\\", "\xHH" and
/// "\uXXXX" stand for what cannot stand as itself.
std::u16string EscapeJournalName(const std::u16string& name);
/// The name an escaped text stands for; false when an escape is malformed.
bool UnescapeJournalName(const std::u16string& text, std::u16string& name);

/// One line of a journal after its header.
struct JournalRecord {
  enum class Type { Rename, Failure, Empty, Unreadable } type = Type::Empty;
  EntryKind kind = EntryKind::File;
  std::u16string from, to;  ///< absolute paths
};
JournalRecord ParseJournalLine(const std::u16string& line);

/// The header's fields; false when the line is no journal header.
struct JournalHeader {
  std::u16string version, build, startDirectory;
  bool plan = false;  ///< written by a preview (-p 1): nothing was renamed
};
bool ParseJournalHeader(const std::u16string& line, JournalHeader& header);
extern const char16_t* const kJournalVersion;
/// The longest record line an undo reads, its line end included: above two
/// paths of kWalkDepthCap levels of 255 units, each unit escaped. A run
/// renames nothing whose record would be longer.
constexpr std::size_t kMaxJournalLine = std::size_t{4} << 20;

/// Creates the journal named by -j (not in debug mode) and writes its
/// header with the absolute start directory. Throws platform::IoError when
/// it exists or cannot be made.
void OpenJournal(const std::u16string& startDirectory);
/// RenameNoReplace; while a journal is open, its record is written first
/// and a failure is marked after it. Throws platform::IoError when the
/// journal cannot take a line: nothing is renamed then. A record longer
/// than kMaxJournalLine is not written, and the rename fails.
bool JournaledRename(EntryKind kind, const std::u16string& from, const std::u16string& to);
/// The preview (-p 1): writes the record of a rename that the working run
/// would make to the plan, while one is open, with the failure mark after
/// it when the rename would fail; renames nothing. Returns whether the run
/// would make the rename: not when it fails, nor when its record is too
/// long for the journal.
bool PlanRename(EntryKind kind, const std::u16string& from, const std::u16string& to,
                bool fails = false);
/// Closes the journal; a failure is reported and counted in ioErrors.
void CloseJournal();

// ---- undo (undo.cpp): reads `options`, fills `undoCounters` and `counters`.
/// The whole undo run of -u after the command line; returns the exit code.
std::uint32_t RunUndo();

}  // namespace renamer

#endif  // RENAMER_RENAMER_H
