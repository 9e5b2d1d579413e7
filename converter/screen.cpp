// Screen file input: the 6912 bytes of a .scr file into ZxScreen.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "converter/converter.h"

namespace converter {

bool ReadScreenFile() {
  if (!platform::FileExists(options.inFile)) {
    // Kept on purpose (docs/ARCHITECTURE.md): "not exist".
    WriteLine(u"ERR_INP_FILE: " + options.inFile + u" not exist.");
    ++counters.ioErrors;
    return false;
  }
  // Paper of attribute 0x07 (black) wherever a short file leaves no data.
  std::memset(screen.bitmap, 0x00, sizeof screen.bitmap);
  std::memset(screen.attributes, 0x07, sizeof screen.attributes);
  std::memset(&bmp, 0, sizeof bmp);

  // Read-only access, so that a write-protected screen still converts.
  platform::ByteFile file;
  bool ok = file.OpenRead(options.inFile);
  if (ok) {
    std::uint64_t size = 0;
    ok = file.Size(size);
    if (ok && size != kScreenSize) {
      WriteLine(u"ERR_INP_FILE: length of " + options.inFile + u" is " + platform::Decimal(size) +
                u" bytes, not equal " + platform::Decimal(kScreenSize) + u" bytes, truncated.");
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, kScreenSize));
    // The two fields are one contiguous block, filled by one read.
    if (ok && count > 0) ok = file.Read(reinterpret_cast<std::uint8_t*>(&screen), count);
    ok = file.Close() && ok;
  }
  if (!ok) {
    WriteLine(u"ERR_INP_FILE: " + options.inFile + u" read error.");
    ++counters.ioErrors;
  }
  return ok;
}

}  // namespace converter
