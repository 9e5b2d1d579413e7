// The records of a run and the driver's flow: usage, or one pass of parse,
// rules, walk, summaries.
// SPDX-License-Identifier: MIT
#include "renamer/renamer.h"

namespace renamer {

RenamerOptions options;
RenamerCounters counters;
RenamerOutput output;
RuleList rules;
RenamerJournal journal;
UndoCounters undoCounters;
std::uint32_t replaceDepth = 0;
std::uint32_t walkDepth = 0;
bool retracing = false;
std::unordered_map<std::u16string, std::u16string> foreseenDirNames;

void ResetRun() {
  options = RenamerOptions();
  counters = RenamerCounters();
  output = RenamerOutput();
  rules.ruleCount = 0;
  journal.file.Close();
  journal.open = false;
  undoCounters = UndoCounters();
  replaceDepth = 0;
  walkDepth = 0;
  retracing = false;
  foreseenDirNames.clear();
}

std::uint32_t RunRenamer() {
  if (platform::Arguments().empty()) {
    PrintUsage();
    return 0;
  }
  ParseCommandLine();
  if (!options.undoFileName.empty()) return RunUndo();
  LoadRules();
  OpenJournal(options.workDir);
  OpenFileList();
  WriteLine(u"--NAME SCOURER--");
  if (rules.ruleCount != 0) {
    // Below the start directory nothing is resolved through a link, however
    // the tree changes during the walk; a start directory that cannot be
    // opened gives an empty walk either way.
    bool rooted = platform::SetWalkRoot(options.workDir);
    // A start directory renamed by the directory pass is not where the
    // file pass starts: the unchanged start path is resolved afresh, once,
    // as the file pass's root, and only a directory found there is walked.
    const bool moved = WalkDirectories(options.workDir);
    if (moved) rooted = platform::SetWalkRoot(options.workDir);
    if (rooted || !moved) WalkFiles(options.workDir);
    platform::ClearWalkRoot();
  }
  CloseJournal();
  // Kept on purpose (docs/ARCHITECTURE.md): the settings after the walk.
  PrintSettings();
  PrintStatistics();
  CloseFileList();
  std::uint32_t exitCode = counters.ioErrors != 0          ? counters.ioErrors
                           : counters.exceededSubdirs != 0 ? counters.exceededSubdirs
                                                           : counters.exceededReplaces;
  // A failure to close the log is reported and counted, but comes too late
  // to change the exit code.
  CloseLog();
  return exitCode;
}

}  // namespace renamer
