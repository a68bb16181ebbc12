#include "io/fileformats.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "codecs/jpegfilt.h"
#include "codecs/pngfilt.h"
#include "codecs/bmpfilt.h"

namespace vx {

namespace {

constexpr size_t kMaxInfoString = 80;

std::vector<std::unique_ptr<TVXFileFormatInfo>> BuiltIns() {
  static const struct {
    int type;
    const char* name;
    const char* ext;
  } kBuiltIn[] = {
      {ioTIFF, "TIFF Bitmap", "TIF;TIFF"},     {ioGIF, "CompuServe Bitmap", "GIF"},
      {ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE"}, {ioPCX, "PaintBrush", "PCX"},
      {ioBMP, "Windows Bitmap", "BMP"},        {ioICO, "Windows Icon", "ICO"},
      {ioCUR, "Windows Cursor", "CUR"},        {ioPNG, "Portable Network Graphics", "PNG"},
      {ioWMF, "Windows Metafile", "WMF"},      {ioEMF, "Enhanced Windows Metafile", "EMF"},
  };
  std::vector<std::unique_ptr<TVXFileFormatInfo>> table;
  for (const auto& b : kBuiltIn) {
    auto info = std::make_unique<TVXFileFormatInfo>();
    info->FileType = b.type;
    info->FullName = b.name;
    info->Extensions = b.ext;
    table.push_back(std::move(info));
  }
  return table;
}

std::vector<std::string> SplitExtensions(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = list.find(';', start);
    std::string item =
        list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!item.empty()) out.push_back(item);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The first `length` bytes at the position, as a string that ends at the first zero.
std::string HeadString(TStream& stream, int64_t start, size_t length) {
  std::string s(length, '\0');
  stream.SetPosition(start);
  const int64_t n = stream.Read(s.data(), static_cast<int64_t>(length));
  s.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
  const size_t zero = s.find('\0');
  if (zero != std::string::npos) s.resize(zero);
  return s;
}

// Runs one detection step; the position is back at start afterwards whatever happens.
template <class F>
bool Probe(TStream& stream, int64_t start, F&& test) {
  bool hit = false;
  try {
    stream.SetPosition(start);
    hit = test();
  } catch (...) {
    stream.SetPosition(start);
    throw;
  }
  stream.SetPosition(start);
  return hit;
}

int DetectBuiltIn(TStream& stream, int64_t start, int64_t size) {
  auto head = [&](size_t n) { return HeadString(stream, start, n); };
  auto bytes = [&](size_t n) {
    std::vector<uint8_t> b(n, 0);
    stream.SetPosition(start);
    stream.Read(b.data(), static_cast<int64_t>(n));
    return b;
  };
  if (Probe(stream, start, [&] { return JpegTryStream(stream); })) return ioJPEG;
  if (size > 12 && Probe(stream, start, [&] { return head(4) == "JFIF"; })) return ioJPEG;
  if (size > 13 && Probe(stream, start, [&] { return head(3) == "GIF"; })) return ioGIF;
  if (size > 12 && Probe(stream, start, [&] { return head(4) == "PCX2"; })) return ioPCX;
  if (size > 4 && Probe(stream, start, [&] { return head(4) == "PCX"; })) return ioPCX;
  if (size > 14 && Probe(stream, start, [&] { return head(2) == "BM"; })) return ioBMP;
  if (size > 128 && Probe(stream, start, [&] {
        const auto b = bytes(2);
        return b[0] == 0x0A && b[1] <= 5;
      }))
    return ioPCX;
  if (size > 12 && Probe(stream, start, [&] { return head(4) == "TIFF"; })) return ioTIFF;
  if (size > 8 && Probe(stream, start, [&] {
        const std::string h = head(2);
        return h == "II" || h == "MM";
      }))
    return ioTIFF;
  if (size > 8 && Probe(stream, start, [&] { return IsPNGStream(stream); })) return ioPNG;
  if (Probe(stream, start, [&] { return ICOTryStream(stream); })) return ioICO;
  if (Probe(stream, start, [&] { return CURTryStream(stream); })) return ioCUR;
  return ioUnknown;
}

}  // namespace

std::vector<std::unique_ptr<TVXFileFormatInfo>>& vxgFileFormats() {
  static std::vector<std::unique_ptr<TVXFileFormatInfo>> table = BuiltIns();
  return table;
}

void VXFileFormatReset() {
  vxgFileFormats() = BuiltIns();
}

void VXFileFormatAdd(const TVXFileFormatInfo& info) {
  auto copy = std::make_unique<TVXFileFormatInfo>(info);
  if (copy->FullName.size() > kMaxInfoString) copy->FullName.resize(kMaxInfoString);
  if (copy->Extensions.size() > kMaxInfoString) copy->Extensions.resize(kMaxInfoString);
  vxgFileFormats().push_back(std::move(copy));
}

void VXFileFormatRemove(int fileType) {
  auto& t = vxgFileFormats();
  auto it =
      std::find_if(t.begin(), t.end(), [&](const auto& e) { return e->FileType == fileType; });
  if (it != t.end()) t.erase(it);
}

TVXFileFormatInfo* VXFileFormatGetInfo(int fileType) {
  for (const auto& e : vxgFileFormats())
    if (e->FileType == fileType) return e.get();
  return nullptr;
}

TVXFileFormatInfo* VXFileFormatGetInfo2(const std::string& extension) {
  for (const auto& e : vxgFileFormats())
    for (const auto& ext : SplitExtensions(e->Extensions))
      if (EqualNoCase(ext, extension)) return e.get();
  return nullptr;
}

std::string VXFileFormatGetExt(int fileType, int index) {
  const TVXFileFormatInfo* info = VXFileFormatGetInfo(fileType);
  if (!info || index < 0) return {};
  const auto exts = SplitExtensions(info->Extensions);
  return index < static_cast<int>(exts.size()) ? exts[static_cast<size_t>(index)] : std::string{};
}

int VXFileFormatGetExtCount(int fileType) {
  const TVXFileFormatInfo* info = VXFileFormatGetInfo(fileType);
  return info ? static_cast<int>(SplitExtensions(info->Extensions).size()) : 0;
}

int FindStreamFormat(TStream& stream) {
  const int64_t start = stream.Position();
  int found = ioUnknown;
  try {
    const int64_t size = stream.Size();
    for (const auto& e : vxgFileFormats()) {
      if (e->TryFunction && Probe(stream, start, [&] { return e->TryFunction(stream); })) {
        found = e->FileType;
        break;
      }
    }
    if (found == ioUnknown) found = DetectBuiltIn(stream, start, size);
  } catch (...) {
    // A stream that fails while being probed is simply not recognised.
  }
  try {
    stream.SetPosition(start);
  } catch (...) {
  }
  return found;
}

std::string ExtractFileExtLower(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

int FindFileFormat(const std::string& fileName, bool verifyExtension) {
  int type = ioUnknown;
  try {
    TFileStream f(fileName, fmOpenRead);
    type = FindStreamFormat(f);
  } catch (...) {
    return ioUnknown;
  }
  if (verifyExtension) {
    const std::string ext = ExtractFileExtLower(fileName);
    const TVXFileFormatInfo* info = ext.size() > 1 ? VXFileFormatGetInfo2(ext.substr(1)) : nullptr;
    if (!info || info->FileType != type) return ioUnknown;
  }
  return type;
}

}  // namespace vx
