// The lines each program prints, as the tests expect them.
// SPDX-License-Identifier: MIT
#include "tests/support/reports.h"

#include <algorithm>

#include "tests/support/test_support.h"

namespace testsupport {

namespace {

std::u16string YesNo(bool flag) { return flag ? u"yes" : u"no"; }

std::u16string Count(std::uint32_t n) { return U(std::to_string(n)); }

}  // namespace

std::vector<std::u16string> RenamerSettingsRows(const RenamerSettings& s) {
  namespace n = namescourer;
  return {n::kInitialPath + s.workDir,   n::kInclSubdirs + s.subdirs,   n::kFilenameMask + s.mask,
          n::kReplaceConf + s.rules,     n::kRuleCount + s.ruleCount,   n::kDebugRenaming + s.debug,
          n::kLogging + s.logging,       n::kLogLevel + s.level,        n::kLogFilename + s.logName,
          n::kFilelistName + s.listName, n::kFilelistMake + s.listMake, n::kRule};
}

std::vector<std::u16string> RenamerEmptyStatisticsRows(std::uint32_t ioErrors) {
  namespace n = namescourer;
  const std::u16string zero = u"0";
  return {n::kTotalFiles + zero,
          n::kRenamedDirs + zero,
          n::kRenamedFiles + zero,
          n::kUtfDirs + zero,
          n::kUtfFiles + zero,
          n::kForbiddenUtfDirs + zero,
          n::kForbiddenUtfFiles + zero,
          n::kExceedReplaces + zero,
          n::kExceedSubdirs + zero,
          n::kIoErrors + Count(ioErrors),
          n::kRule};
}

std::vector<std::u16string> WalkLines(const std::vector<std::u16string>& lines) {
  auto begin = std::find(lines.begin(), lines.end(), namescourer::kBanner);
  auto end = std::find_if(lines.begin(), lines.end(), [](const std::u16string& line) {
    return line.rfind(namescourer::kInitialPath, 0) == 0;
  });
  if (begin == lines.end() || end == lines.end() || end < begin) return {u"<no summary>"};
  return std::vector<std::u16string>(begin + 1, end);
}

std::vector<std::u16string> RenameLines(const std::u16string& kind, const std::u16string& from,
                                        const std::u16string& to) {
  return {u"Old " + kind + u":" + from, u"New " + kind + u":" + to, u"----"};
}

std::vector<std::u16string> FailedRenameLines(const std::u16string& kind,
                                              const std::u16string& from,
                                              const std::u16string& to) {
  return {u"ERR_EXCEPTION " + kind + u" OLD:" + from, u"ERR_EXCEPTION " + kind + u" NEW:" + to,
          u"----"};
}

std::vector<std::u16string> ZxrasterSettings(const std::u16string& in, const std::u16string& out,
                                             unsigned flags, const std::u16string& log,
                                             const std::u16string& palette) {
  const bool indexed = (flags & kIndexedColor) != 0;
  return {zxraster::kInFile + in,
          zxraster::kOutFile + out,
          zxraster::kLogFile + log,
          zxraster::kPaletteFile + palette,
          zxraster::kLogging + YesNo((flags & kLogging) != 0),
          zxraster::kIdxColor + YesNo(indexed),
          zxraster::kTrueColor + YesNo(!indexed),
          zxraster::kRule};
}

std::vector<std::u16string> ZxrasterPictureSettings(std::vector<std::u16string> settings,
                                                    const std::u16string& format,
                                                    const std::u16string& scale,
                                                    const std::u16string& flash) {
  settings.insert(settings.end() - 1,
                  {zxraster::kFormat + format, zxraster::kScale + scale, zxraster::kFlash + flash});
  return settings;
}

std::string TestScreen() {
  std::string data(6912, '\0');
  for (int k = 0; k < 6144; ++k) data[k] = static_cast<char>((k * 37 + 11 + (k >> 8)) & 0xFF);
  for (int c = 0; c < 768; ++c) data[6144 + c] = static_cast<char>((c * 5 + c / 256) & 0xFF);
  return data;
}

std::vector<std::u16string> ZxrasterSummary(std::uint32_t ioErrors) {
  return {zxraster::kIoErrors + Count(ioErrors), zxraster::kRule};
}

}  // namespace testsupport
