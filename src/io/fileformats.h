#pragma once
// The process-wide table of known file formats, content detection, and extension
// lookup. Built-in formats come first; applications append their own with a reader,
// writer and content test.
#include <memory>
#include <string>
#include <vector>

#include "io/codec.h"

namespace vx {

struct TVXFileFormatInfo {
  int FileType = ioUnknown;
  std::string FullName;    // at most 80 characters; longer names are cut
  std::string Extensions;  // without dots, separated by ';'; at most 80 characters
  TVXReadFunction ReadFunction = nullptr;
  TVXWriteFunction WriteFunction = nullptr;
  TVXTryFunction TryFunction = nullptr;
};

// The table, in lookup order. Each entry is owned by the table.
std::vector<std::unique_ptr<TVXFileFormatInfo>>& vxgFileFormats();

void VXFileFormatAdd(const TVXFileFormatInfo& info);
void VXFileFormatRemove(int fileType);
TVXFileFormatInfo* VXFileFormatGetInfo(int fileType);
// Case-insensitive match of an extension (without dot) against every entry's list.
TVXFileFormatInfo* VXFileFormatGetInfo2(const std::string& extension);
std::string VXFileFormatGetExt(int fileType, int index);
int VXFileFormatGetExtCount(int fileType);
// Restores the built-in table (tests and applications that want a clean start).
void VXFileFormatReset();

// Detects the format of the stream at its current position; the position is restored.
// 0 when nothing matched.
int FindStreamFormat(TStream& stream);
// Detects the format of a file; 0 on any error. With verifyExtension the file's
// extension must name the same format.
int FindFileFormat(const std::string& fileName, bool verifyExtension);

// Lower-cased extension with its dot ("photo.JPG" -> ".jpg"); empty when none.
std::string ExtractFileExtLower(const std::string& fileName);

}  // namespace vx
