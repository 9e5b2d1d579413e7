// zxraster: the records of a run and the operations over them.
//
// One process-wide instance of each record, defined with the driver in
// run.cpp (the built-in palette, a constant, is defined in palette.cpp).
// All text is UTF-16; screen, palette and image data are fixed-size byte
// arrays that live for the whole run.
// SPDX-License-Identifier: MIT
#ifndef CONVERTER_CONVERTER_H
#define CONVERTER_CONVERTER_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace converter {

/// The picture formats of -f. A new format is one value here, one encoder
/// beside EncodeBmp and EncodePng, and its cases in output.cpp
/// (PictureExtension, WritePicture) and command_line.cpp (its -f name).
enum class PictureFormat { kBmp, kPng };

/// The screen layouts a screen file may hold (-m). A new layout is one
/// value here, its row in screen.cpp's table and parts, and its case in
/// PictureColorIndex (decode.cpp).
enum class ScreenFormat : std::uint8_t {
  kScr,            ///< 6912 bytes: bitmap, then one attribute per 8 x 8 cell
  kMono,           ///< 6144 bytes: the bitmap alone, black ink on white paper
  kTimexHiColour,  ///< 12288 bytes: bitmap, then one attribute per 8 x 1 cell
  kTimexHiRes,     ///< 12289 bytes: even columns, odd columns, the colour byte; 512 wide
  kUlaPlus,        ///< 6976 bytes: the screen, then 64 palette entries GGGRRRBB
};

/// The settings of the run: the command line, then the driver's defaults.
struct ConverterOptions {
  std::u16string inFile;       ///< screen file to read (-i)
  std::u16string outFile;      ///< picture to write (-o); inFile + ".bmp" (".png") by default
  std::u16string logFileName;  ///< UTF-8 log (-l); empty: console
  std::u16string palFile;      ///< ANSI palette file (-p); empty: built-in palette
  std::u16string colorFormat;  ///< raw -c value; only its first character counts
  std::u16string fileFormat;   ///< raw -f value: "bmp" or "png"; empty: bmp
  std::u16string scaleText;    ///< raw -s value: 1 to 8; empty: 1
  std::u16string flashText;    ///< raw -a value: 0, 1 or 2; empty: 0
  std::u16string screenText;   ///< raw -m value: a screen format or auto; empty: scr
  bool logging = false;        ///< lines go to the log (conversion run with -l)
  bool idxColor = false;       ///< 4-bit indexed output instead of 24-bit
  PictureFormat format = PictureFormat::kBmp;  ///< from -f
  std::uint32_t scale = 1;                     ///< each ZX pixel becomes a scale x scale block
  std::uint32_t flashPhase = 0;                ///< 0 as stored, 1 swapped, 2 both (animated PNG)
  ScreenFormat screenFormat = ScreenFormat::kScr;  ///< the layout the screen file is read in
  bool autoFormat = false;                         ///< -m auto: screenFormat from the file's size
};

/// The counts of the run.
struct ConverterCounters {
  std::uint32_t ioErrors = 0;  ///< counted errors; the exit code
};

/// The log, in use while IsOpen(). One whose close failed to write out its
/// buffer stays open.
struct ConverterOutput {
  platform::OutputTextFile log;
};

constexpr std::uint32_t kMaxScale = 8;

constexpr std::size_t kBitmapSize = 6144;
constexpr std::size_t kAttributeSize = 768;
constexpr std::uint32_t kScreenSize = 6912;
constexpr std::uint16_t kScreenWidth = 256;
constexpr std::uint16_t kScreenHeight = 192;
constexpr std::uint16_t kHiResWidth = 512;  ///< Timex hi-res

/// A ZX Spectrum screen dump, byte for byte the content of a .scr file.
struct ZxScreen {
  std::uint8_t bitmap[kBitmapSize];         ///< display file order, MSB leftmost
  std::uint8_t attributes[kAttributeSize];  ///< one per 8 x 8 cell, row by row
};
static_assert(sizeof(ZxScreen) == kScreenSize, "ZxScreen must be one 6912-byte block");

constexpr std::size_t kUlaPlusPaletteSize = 64;

/// What the other screen layouts hold beyond ZxScreen: hi-colour's
/// attributes, hi-res's odd columns and colour byte, ULAplus's palette.
struct ScreenExtras {
  std::uint8_t second[kBitmapSize];  ///< hi-colour: one attribute per 8 x 1; hi-res: odd columns
  std::uint8_t hiResColour;          ///< hi-res: the video mode byte; bits 3 to 5 the ink
  std::uint8_t ulaPalette[kUlaPlusPaletteSize];  ///< ULAplus: GGGRRRBB per entry
};

/// Byte positions inside a palette entry (the BMP colour-table layout).
constexpr std::size_t kBlue = 0;
constexpr std::size_t kGreen = 1;
constexpr std::size_t kRed = 2;
constexpr std::size_t kReserved = 3;

/// 16 colours of blue, green, red, reserved; index = ZX colour + 8 if bright.
struct Palette16 {
  std::uint8_t entry[16][4];
};
static_assert(sizeof(Palette16) == 64, "Palette16 must be the 64-byte colour table");

constexpr std::size_t kHeaderSize = 118;
constexpr std::size_t kTrailerSize = 2;
constexpr std::size_t kIndexedPixelSize = 24576;     ///< 192 rows of 128 bytes
constexpr std::size_t kTrueColorPixelSize = 147456;  ///< 192 rows of 768 bytes

/// The output image: headers and colour table, pixels, and two zero bytes
/// after them.
struct BmpBuffers {
  std::uint8_t header[kHeaderSize];
  std::uint8_t trailer[kTrailerSize];  ///< stays zero; written after the pixels of every file
  std::uint8_t pixels[kTrueColorPixelSize];
};

// The process-wide state of the run.
extern ConverterOptions options;
extern ConverterCounters counters;
extern ConverterOutput output;
extern ZxScreen screen;
extern ScreenExtras screenExtras;
extern BmpBuffers bmp;
extern Palette16 ActivePalette;         ///< the palette the image is built with
extern const Palette16 BuiltinPalette;  ///< levels 192 (normal) and 255 (bright)

/// Resets every record to its start value (the driver's defaults; tests).
void ResetRun();

// driver (run.cpp)
/// The whole run from the command line to CloseLog, on records ResetRun has
/// just reset; returns the exit code.
std::uint32_t RunConverter();

// summaries and usage (summaries.cpp)
/// "yes" or "no".
std::u16string YesNo(bool flag);
/// Writes the settings summary and its closing rule.
void PrintSettings();
/// Writes the usage text.
void PrintUsage();
/// Writes "IOERRORS: " with the count as it stands before the line, then the rule.
void PrintErrorSummary();

// command line (command_line.cpp)
/// Fills the option strings from the argument list
/// (platform::FindOptionValue); never fails.
void ParseCommandLine();
/// True when -f, -s or -a has a value: the settings summary then shows
/// the picture settings too (-m shows its own row).
bool PictureOptionsGiven();
/// Turns the raw -f, -s, -a and -m values into png, scale, flashPhase and
/// screenFormat, where they are good; false when any is bad, and no
/// picture is to be written. With `report`, each bad value gives one line
/// and one counted error.
bool CheckPictureOptions(bool report);

// console and log (output.cpp)
/// One line to the log when logging and the log is open (opening it lazily),
/// else to the console. Throws platform::IoError when the write fails.
void WriteLine(const std::u16string& text);
/// Opens or creates the log; on failure prints "ERR_OPEN_LOG: " on the
/// console and counts one error.
void OpenLog();
/// Closes the log when it is open; on failure prints "ERR_CLOSE_LOG: " on
/// the console and counts one error.
void CloseLog();

// the picture file (output.cpp)
/// Bytes to write: `size` bytes at `data`.
struct ByteBlock {
  const std::uint8_t* data;
  std::size_t size;
};
/// The file name extension of a format: u".bmp", u".png".
const char16_t* PictureExtension(PictureFormat format);
/// Writes the blocks one after the other as outFile, in place of any file
/// of that name only once all are written; reports and counts a failure.
void WritePictureFile(std::initializer_list<ByteBlock> blocks);
/// Writes the picture the options ask for: the BMP of the screen's size in
/// phase 0 by WriteIndexedBmp or WriteTrueColorBmp, any other by the
/// encoder of its format.
void WritePicture();

// screen file input (screen.cpp)
/// The size of a screen file of the format, without a +3DOS header.
std::uint32_t ScreenFileSize(ScreenFormat format);
/// The -m name of the format.
std::u16string ScreenFormatName(ScreenFormat format);
/// The format whose file size is `size`; false when no format has it.
bool FormatOfSize(std::uint64_t size, ScreenFormat& format);
/// False for the formats whose pictures ignore FLASH (mono, hi-res, ULAplus).
bool FormatHasFlash(ScreenFormat format);
/// False for ULAplus, which brings its own palette: -p is then ignored.
bool FormatUsesPalette(ScreenFormat format);
/// The format of a -m value in lower case; `isAuto` for "auto". False for
/// a name of no format.
bool ParseScreenFormat(const std::u16string& name, ScreenFormat& format, bool& isAuto);
/// With -m auto: screenFormat from inFile's size; scr when the file
/// cannot be read (ReadScreenFile reports it).
void ChooseScreenFormat();
/// Clears the screen and image buffers and reads inFile into `screen` and
/// `screenExtras` in options.screenFormat. Returns true when it was read
/// without an I/O error; reports and counts a failure.
bool ReadScreenFile();

// palette (palette.cpp)
/// ActivePalette becomes a copy of BuiltinPalette.
void ResetPalette();
/// Replaces ActivePalette from palFile when its 16 lines are all good;
/// reports and counts every failure, lists the palette on success.
void LoadPaletteFile();
/// Removes leading and trailing U+0020 blanks in place (tabs stay).
void TrimBlanks(std::u16string& text);
/// Splits a palette line into its three fields; false when the line does
/// not have the shape "a,b,c" and is to be skipped.
bool SplitPaletteLine(const std::u16string& line, std::u16string fields[3]);
/// Converts one field: optional sign, then decimal digits or hex digits
/// after "$", "x", "X", "0x" or "0X", within signed 32 bits. False when
/// anything else is there.
bool ParsePaletteNumber(const std::u16string& text, std::int32_t& value);

// screen decoding (decode.cpp)
/// The bitmap bit of screen pixel (x, y), 1 for ink; 0 outside the screen.
std::uint8_t ScreenPixel(std::uint16_t x, std::uint16_t y);
/// The colour index 0..15 of pixel (x, y) for its ink bit; 0 outside.
std::uint8_t ColorIndex(std::uint16_t x, std::uint16_t y, std::uint8_t ink);
/// Stores index mod 16 as the 4-bit pixel x of image row r (bottom-up).
void PutIndexedPixel(std::uint16_t x, std::uint16_t r, std::uint8_t index);
/// Stores the blue, green, red of ActivePalette entry index mod 16 as the
/// 24-bit pixel x of image row r (bottom-up).
void PutTrueColorPixel(std::uint16_t x, std::uint16_t r, std::uint8_t index);
/// Fills the 4-bit pixel array from `screen`.
void RenderIndexed();
/// Fills the 24-bit pixel array from `screen` and ActivePalette.
void RenderTrueColor();
/// The picture's width in pixels: 512 for Timex hi-res, else 256.
std::uint16_t PictureWidth();
/// The number of colours a picture of the screen format may use: 64 for
/// ULAplus, else 16.
std::uint16_t PictureColourCount();
/// The colour index of picture pixel (x, y) in the screen format and flash
/// phase (1 swaps ink and paper under FLASH where the format has it); 0
/// outside the picture.
std::uint8_t PictureColorIndex(std::uint16_t x, std::uint16_t y, std::uint32_t phase);
/// Blue, green, red of a ULAplus palette byte GGGRRRBB, each level
/// expanded to 8 bits, into bgr[kBlue], bgr[kGreen], bgr[kRed].
void UlaPlusColour(std::uint8_t grb, std::uint8_t* bgr);
/// Blue, green, red of a picture colour index: ActivePalette's entry, or
/// for ULAplus the screen's own palette entry.
void PictureColour(std::uint8_t index, std::uint8_t* bgr);
/// The picture's palette indices in bmp.pixels, as shown in flash phase
/// `phase`: for scr, RenderIndexed of the screen as stored (0) or with ink
/// and paper swapped in every cell whose FLASH bit is set (1; the screen
/// is as stored again afterwards); for the other formats the same rows,
/// bottom-up, of PictureWidth() indices in IndexedLayout().
void RenderFlashPhase(std::uint32_t phase);
/// The palette indices of picture row r (bottom-up) in flash phase
/// `phase`: for scr straight from `screen`, eight pixels at a time; for the
/// other formats RenderedRow of what RenderFlashPhase(phase) left.
void PictureIndexRow(std::uint16_t r, std::uint32_t phase, std::uint8_t* indices);

// picture rows (picture_rows.cpp): what the encoders build on
/// How a row of palette indices becomes picture bytes: pairs of 4-bit
/// indices (high nibble first), 8-bit indices, or each index's colour
/// (PictureColour) as blue, green, red (BMP) or red, green, blue (PNG).
enum class RowLayout { kIndexed4, kIndexed8, kBgr, kRgb };
/// The indexed layout of the picture: 8 bits for more than 16 colours.
RowLayout IndexedLayout();
/// The bytes of one picture row of PictureWidth() pixels, each `scale`
/// times wide.
std::size_t RowBytes(RowLayout layout, std::uint32_t scale);
/// The PictureWidth() palette indices of image row r (bottom-up, as BMP
/// rows) of the pixels that RenderFlashPhase left in bmp.pixels.
void RenderedRow(std::uint16_t r, std::uint8_t* indices);
/// The picture's PictureColourCount() colours in the byte order of a
/// truecolour layout (kBgr or kRgb), four bytes each with a zero last, so
/// that a pixel can be stored as one word.
void PictureColourBytes(RowLayout layout, std::uint8_t (*colours)[4]);
/// Packs PictureWidth() palette indices, each repeated `scale` (1 or more)
/// times, as `layout` into RowBytes(layout, scale) bytes at `out`.
void PackIndexRow(const std::uint8_t* indices, RowLayout layout, std::uint32_t scale,
                  std::uint8_t* out);

// BMP output (bmp.cpp)
/// Stores a 16-bit value little-endian at header[offset].
void PutWord(std::size_t offset, std::uint16_t value);
/// Stores a 32-bit value little-endian at header[offset].
void PutDword(std::size_t offset, std::uint32_t value);
/// Copies the 64 bytes of ActivePalette to header[offset].
void PutColorTable(std::size_t offset);
/// Composes the file and information headers (and, for indexed output, the
/// colour table) in bmp.header, for a picture scaled by `scale`.
void ComposeBmpHeader(bool indexed, std::uint32_t scale = 1);
/// Writes outFile as a 4-bit BMP; reports and counts a failure.
void WriteIndexedBmp();
/// Writes outFile as a 24-bit BMP; reports and counts a failure.
void WriteTrueColorBmp();
/// The BMP file of the screen in flash phase `phase` (0 or 1), 4-bit
/// indexed or 24-bit, scaled by `scale` (1 or more).
std::vector<std::uint8_t> EncodeBmp(bool indexed, std::uint32_t scale, std::uint32_t phase);

// The deflate coder of the PNG rows (deflate.cpp)
constexpr unsigned kLiteralSymbols = 286;    ///< literals, end of block, lengths
constexpr unsigned kCodeLengthSymbols = 19;  ///< the code of the code lengths
/// A zlib stream being written by DeflateRuns: runs of one byte become
/// matches at distance 1, other bytes literals.
struct ZlibRuns {
  std::vector<std::uint16_t> symbols;  ///< the block so far: a literal, or 256 + a match length
  std::size_t symbolCount = 0;         ///< how many of symbols are the block's
  std::uint32_t literalCounts[kLiteralSymbols] = {};  ///< of the block's symbols
  std::uint32_t matches = 0;                          ///< in the block
  int last = -1;                                      ///< the byte before; -1 before the first
  unsigned run = 0;        ///< bytes equal to `last` that have no symbol yet
  std::uint64_t sum1 = 1;  ///< the Adler-32 sums
  std::uint64_t sum2 = 0;
  std::uint64_t bitBuffer = 0;  ///< bits not yet in out, the first lowest
  unsigned bitCount = 0;
  std::vector<std::uint8_t> out;  ///< the stream so far
};
/// Starts a stream: its two header bytes.
void StartZlibRuns(ZlibRuns& z);
/// Compresses `size` more bytes.
void DeflateRuns(ZlibRuns& z, const std::uint8_t* data, std::size_t size);
/// The whole stream: the last block and the checksum added.
std::vector<std::uint8_t> FinishZlibRuns(ZlibRuns& z);

// PNG output (png.cpp)
/// How the rows of a PNG are filtered and deflated: with `runCoder`, by
/// DeflateRuns; otherwise by zlib, with its level, strategy, memory level
/// and window bits. `chooseFilter`: the first row of each ZX line may take
/// the Up filter (where it leaves fewer changes than Sub).
struct PngDeflate {
  int level;
  int strategy;
  int memLevel;
  int windowBits;
  bool chooseFilter;
  bool runCoder;
};
/// The settings EncodePng uses; tools/bench_zxraster.sh weighs others.
extern const PngDeflate kPngDeflate;
/// The zlib stream of the rows of the picture (truecolour, or indexed)
/// in flash phase `phase`, scaled by `scale`; the rows as PictureIndexRow
/// gives them.
std::vector<std::uint8_t> CompressRows(bool indexed, std::uint32_t scale, std::uint32_t phase,
                                       const PngDeflate& settings);
/// The PNG file of the screen (truecolour, or 4-bit indexed with the
/// palette), scaled by `scale`; phase 2 gives an animated PNG of both
/// phases, 0.32 s each, looping.
std::vector<std::uint8_t> EncodePng(bool indexed, std::uint32_t scale, std::uint32_t phase);

}  // namespace converter

#endif  // CONVERTER_CONVERTER_H
