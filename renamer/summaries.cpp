// The settings summary, the statistics and the usage text; those of an
// undo run.
// SPDX-License-Identifier: MIT
#include <string>

#include "renamer/renamer.h"

namespace renamer {

std::u16string YesNo(bool flag) { return flag ? u"yes" : u"no"; }

namespace {

// The settings rows that a walk and an undo share, from the debug mode on,
// and the line that ends the block.
void PrintModeAndOutputSettings() {
  WriteLine(u" Debug Renaming: " + YesNo(options.debugMode));
  if (options.previewMode) WriteLine(u"   Preview mode: yes (nothing renamed)");
  WriteLine(u"        Logging: " + YesNo(!options.logFileName.empty()));
  WriteLine(u"       Loglevel: " + platform::Decimal(options.logLevel));
  WriteLine(u"   Log filename: " + options.logFileName);
  WriteLine(u"  Filelist name: " + options.fileListName);
  WriteLine(u"  Filelist make: " + YesNo(!options.fileListName.empty()));
  if (!options.journalFileName.empty()) PrintJournalSetting();
  WriteLine(u"----------------");
}

}  // namespace

void PrintSettings() {
  WriteLine(u"   Initial path: " + options.workDir);
  WriteLine(u"  Incl. subdirs: " + YesNo(options.includeSubdirs));
  WriteLine(u"  Filename mask: " + options.fileMask);
  WriteLine(u"   Replace conf: " + options.ruleFileName);
  WriteLine(u" Repl.rules qty: " + platform::Decimal(rules.ruleCount));
  PrintModeAndOutputSettings();
}

void PrintStatistics() {
  // Each row is composed before it is written: a failed log open during
  // the write of one row shows up in the next.
  WriteLine(u"    Total Files: " + platform::Decimal(counters.totalFiles));
  WriteLine(u"   Renamed Dirs: " + platform::Decimal(counters.dirRenames));
  WriteLine(u"  Renamed Files: " + platform::Decimal(counters.fileRenames));
  WriteLine(u"       UTF Dirs: " + platform::Decimal(counters.utfDirs));
  WriteLine(u"      UTF Files: " + platform::Decimal(counters.utfFiles));
  WriteLine(u"Forbid.UTF Dirs: " + platform::Decimal(counters.forbiddenUtfDirs));
  WriteLine(u"ForbidUTF Files: " + platform::Decimal(counters.forbiddenUtfFiles));
  WriteLine(u"Exceed replaces: " + platform::Decimal(counters.exceededReplaces));
  WriteLine(u" Exceed subdirs: " + platform::Decimal(counters.exceededSubdirs));
  WriteLine(u"  IN/OUT errors: " + platform::Decimal(counters.ioErrors));
  if (options.windowsNames) {
    WriteLine(u"  Windows names: " + platform::Decimal(counters.windowsNames));
  }
  WriteLine(u"----------------");
}

void PrintJournalSetting() {
  WriteLine(u"   Journal file: " + options.journalFileName +
            (options.previewMode ? u" (a plan)"
             : options.debugMode ? u" (none in debug mode)"
                                 : u""));
}

void PrintUndoSettings(const std::u16string& startDirectory) {
  WriteLine(u"   Undo journal: " + options.undoFileName);
  WriteLine(u"  Journal start: " + startDirectory);
  PrintModeAndOutputSettings();
}

void PrintUndoStatistics() {
  WriteLine(u"        Records: " + platform::Decimal(undoCounters.records));
  WriteLine(u"     Taken back: " + platform::Decimal(undoCounters.takenBack));
  WriteLine(u"  Nothing to do: " + platform::Decimal(undoCounters.nothingToDo));
  WriteLine(u"        Refused: " + platform::Decimal(undoCounters.refused));
  WriteLine(u"  IN/OUT errors: " + platform::Decimal(counters.ioErrors));
  WriteLine(u"----------------");
}

void PrintUsage() {
  static const char16_t* const kUsage[] = {
      u"Ampersand and other \"bad\" symbols renamer v1.0 (UTF)",
      u"Usage: namescourer.exe -d -[workdir] -f [filename] -r [replaceconf]",
      u"              -l [logname] -b [deBug mode] -v [err.leVel] -n [filelist]",
      u"[filename]    target filename (may be *.html 17?.txt)",
      u"[workdir]     include subdir scan",
      u"-[workdir]    no subdir",
      u"[replaceconf] rule file (ANSI), containing string pairs:",
      u"[logname]     Log filename (UTF8) (if not - no logging, console only)",
      u"[deBug mode]  0/not set - working mode",
      u"              1 - debug mode - no renaming, just scanning and logging",
      u"[err.leVel]   0 - equally no logging",
      u"              1 - log errors only",
      u"              2 - log errors + renaming info",
      u"[filelist]    make scan list (UTF8) of new files,",
      u"              if not set - do not make a list",
      u"Example:",
      u"namescourer.exe -d -C:\\TEMP -f *.jpg -r repl.txt -l err.log -v 1 -n newlist.txt",
      u"Example of [replaceconf] repl.txt:",
      u"&",
      u"[+]",
      u"|",
      u"_",
      u"%ERRORLEVEL% returns quantity of I/O errors. If 0, then all ok.",
  };
  // The options added since: one line each (or more), after the text above,
  // which scripts may match line by line.
  static const char16_t* const kAddedOptions[] = {
      u"-w [win names] 1 - also make names Windows can hold: accents composed, no",
      u"               trailing dot/blank, no device name, <= 255 chars, no control",
      u"               character and none of < > : \" \\ | ? *, no two names in one",
      u"               folder that differ only in case",
      u"-j [journal]   write each rename to a new journal (UTF8) before it is made",
      u"-u [journal]   undo the renames of a journal, last first; -u ignores -d, -f, -r",
      u"-p 1           preview the whole run: rename nothing, report it all (-j: the plan)",
  };
  for (const char16_t* line : kUsage) WriteLine(line);
  WriteLine(u"More options:");
  for (const char16_t* line : kAddedOptions) WriteLine(line);
}

}  // namespace renamer
