// The Windows command-line splitter: no argument is ever empty, no double
// quote survives, and quoting each argument and splitting again gives the
// same list.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string commandLine = fuzz::CodeUnits(data, size);
  const std::vector<std::u16string> arguments = platform::SplitCommandLine(commandLine);

  std::u16string quoted = u"program";
  for (const std::u16string& argument : arguments) {
    FUZZ_CHECK(!argument.empty(), "empty argument from " + fuzz::Show(commandLine));
    FUZZ_CHECK(argument.find(u'"') == std::u16string::npos,
               "quote kept in " + fuzz::Show(argument) + " from " + fuzz::Show(commandLine));
    quoted += u" \"" + argument + u"\"";
  }
  // Blanks and control characters inside an argument stay there only when
  // quoted, so the quoted form must split back into the same words.
  FUZZ_CHECK(platform::SplitCommandLine(quoted) == arguments,
             "quoted arguments split differently: " + fuzz::Show(quoted));
  return 0;
}
