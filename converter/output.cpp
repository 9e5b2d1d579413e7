// The console and the log, where every line goes, and the picture file.
// SPDX-License-Identifier: MIT
#include <vector>

#include "converter/converter.h"

namespace converter {

void WriteLine(const std::u16string& text) {
  if (!output.log.IsOpen() && options.logging) OpenLog();
  if (output.log.IsOpen() && options.logging) {
    output.log.WriteLine(text);
  } else {
    platform::ConsoleWriteLine(text);
  }
}

namespace {

// A log that is the screen file or the picture (under any spelling) would
// write text into it.
bool LogIsScreenOrPicture() {
  return platform::SameFile(options.logFileName, options.inFile) ||
         platform::SameFile(options.logFileName, options.outFile);
}

// Opens the log unless it is the screen or the picture. A log just created
// can turn out to be one of them only now, under another spelling of a name
// that did not exist yet: it is closed and removed again.
bool OpenSeparateLog() {
  if (LogIsScreenOrPicture()) return false;
  const bool existed = platform::FileExists(options.logFileName);
  if (!output.log.Open(options.logFileName)) return false;
  if (!LogIsScreenOrPicture()) return true;
  output.log.Close();
  if (!existed) platform::RemoveFile(options.logFileName);
  return false;
}

}  // namespace

void OpenLog() {
  if (output.log.IsOpen() || options.logFileName.empty() || !options.logging) return;
  if (OpenSeparateLog()) return;
  // Logging stays on, so the next line tries again.
  platform::ConsoleWriteLine(u"ERR_OPEN_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

void CloseLog() {
  if (!output.log.IsOpen() || !options.logging) return;
  // A log whose buffer cannot be written out stays open; the close was its
  // last use anyway.
  if (output.log.Close()) return;
  platform::ConsoleWriteLine(u"ERR_CLOSE_LOG: " + options.logFileName + u".");
  ++counters.ioErrors;
}

const char16_t* PictureExtension(PictureFormat format) {
  switch (format) {
    case PictureFormat::kBmp:
      return u".bmp";
    case PictureFormat::kPng:
      return u".png";
  }
  return u".bmp";
}

void WritePictureFile(std::initializer_list<ByteBlock> blocks) {
  platform::ReplacingFile file;
  bool ok = file.Create(options.outFile);
  for (const ByteBlock& block : blocks) ok = ok && file.Write(block.data, block.size);
  if (!ok || !file.Commit()) {
    WriteLine(u"ERR_OUT_FILE: " + options.outFile + u" write error.");
    ++counters.ioErrors;
  }
}

void WritePicture() {
  // The BMP of a scr screen at its size in phase 0 is the one the tool has
  // always written, straight from the image buffers.
  if (options.format == PictureFormat::kBmp && options.scale == 1 && options.flashPhase == 0 &&
      options.screenFormat == ScreenFormat::kScr) {
    if (options.idxColor) {
      WriteIndexedBmp();
    } else {
      WriteTrueColorBmp();
    }
    return;
  }
  std::vector<std::uint8_t> picture;
  switch (options.format) {
    case PictureFormat::kBmp:
      picture = EncodeBmp(options.idxColor, options.scale, options.flashPhase);
      break;
    case PictureFormat::kPng:
      picture = EncodePng(options.idxColor, options.scale, options.flashPhase);
      break;
  }
  WritePictureFile({{picture.data(), picture.size()}});
}

}  // namespace converter
