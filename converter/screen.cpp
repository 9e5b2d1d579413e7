// Screen file input: the 6912 bytes of a .scr file, or of a +3DOS screen
// file, into ZxScreen.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "converter/converter.h"

namespace converter {

namespace {

constexpr std::uint32_t kPlus3HeaderSize = 128;

// A screen saved by a +3: "PLUS3DOS", the byte 1A, a header checksum that
// holds (byte 127 is the sum of bytes 0 to 126, modulo 256) and the 6912
// bytes of the screen after the 128-byte header.
bool IsPlus3Screen(const std::uint8_t* data, std::uint64_t size) {
  if (size != kPlus3HeaderSize + kScreenSize) return false;
  if (std::memcmp(data, "PLUS3DOS\x1A", 9) != 0) return false;
  std::uint8_t sum = 0;
  for (std::uint32_t i = 0; i + 1 < kPlus3HeaderSize; ++i) {
    sum = static_cast<std::uint8_t>(sum + data[i]);
  }
  return sum == data[kPlus3HeaderSize - 1];
}

// Reads a file of a +3DOS screen's size whole: its screen after the
// header, or, when it is no +3DOS file, its first 6912 bytes.
bool ReadPlus3Screen(platform::ByteFile& file, bool& isPlus3) {
  std::uint8_t data[kPlus3HeaderSize + kScreenSize];
  isPlus3 = false;
  if (!file.Read(data, sizeof data)) return false;
  isPlus3 = IsPlus3Screen(data, sizeof data);
  // Any other file of this size is read as it stands: its first 6912 bytes.
  std::memcpy(&screen, isPlus3 ? data + kPlus3HeaderSize : data, kScreenSize);
  return true;
}

}  // namespace

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
    const bool sized = file.Size(size);
    ok = sized;
    const bool plus3Size = size == kPlus3HeaderSize + kScreenSize;
    bool isPlus3 = false;
    if (ok && plus3Size) ok = ReadPlus3Screen(file, isPlus3);
    if (sized && size != kScreenSize && !isPlus3) {
      WriteLine(u"ERR_INP_FILE: length of " + options.inFile + u" is " + platform::Decimal(size) +
                u" bytes, not equal " + platform::Decimal(kScreenSize) + u" bytes, truncated.");
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, kScreenSize));
    // The two fields are one contiguous block, filled by one read.
    if (ok && count > 0 && !plus3Size)
      ok = file.Read(reinterpret_cast<std::uint8_t*>(&screen), count);
    ok = file.Close() && ok;
  }
  if (!ok) {
    WriteLine(u"ERR_INP_FILE: " + options.inFile + u" read error.");
    ++counters.ioErrors;
  }
  return ok;
}

}  // namespace converter
