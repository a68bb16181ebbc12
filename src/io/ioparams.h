#pragma once
// TIOParamsVals: the one parameter set shared by all codecs. Readers fill it with what
// they find; writers take their settings from it. It saves itself in a small versioned
// binary format (version 2).
#include <cstdint>
#include <string>
#include <vector>

#include "io/lzwhooks.h"
#include "platform/object.h"
#include "platform/types.h"

namespace vx {

class TStream;
class TVantixIO;

// File-type codes; registered formats use codes above ioEMF.
inline constexpr int ioUnknown = 0;
inline constexpr int ioTIFF = 1;
inline constexpr int ioGIF = 2;
inline constexpr int ioJPEG = 3;
inline constexpr int ioPCX = 4;
inline constexpr int ioBMP = 5;
inline constexpr int ioICO = 6;
inline constexpr int ioCUR = 7;
inline constexpr int ioPNG = 8;
inline constexpr int ioWMF = 9;
inline constexpr int ioEMF = 10;

// Stored as one byte each; member order is the stored value. New members only ever go
// at the end so that stored parameter streams keep their meaning.
enum TIOTIFFCompression : uint8_t {
  ioTIFF_UNCOMPRESSED,
  ioTIFF_CCITT1D,
  ioTIFF_G3FAX1D,
  ioTIFF_G3FAX2D,
  ioTIFF_G4FAX,
  ioTIFF_LZW,
  ioTIFF_OLDJPEG,
  ioTIFF_JPEG,
  ioTIFF_PACKBITS,
  ioTIFF_DEFLATE
};
enum TIOTIFFPhotometInterpret : uint8_t {
  ioTIFF_WHITEISZERO,
  ioTIFF_BLACKISZERO,
  ioTIFF_RGB,
  ioTIFF_RGBPALETTE,
  ioTIFF_TRANSPMASK,
  ioTIFF_CMYK,
  ioTIFF_YCBCR,
  ioTIFF_CIELAB
};
enum TIOJPEGColorspace : uint8_t {
  ioJPEG_RGB,
  ioJPEG_GRAYLEV,
  ioJPEG_YCbCr,
  ioJPEG_CMYK,
  ioJPEG_YCbCrK
};
enum TIOJPEGDctMethod : uint8_t { ioJPEG_ISLOW, ioJPEG_IFAST, ioJPEG_FLOAT };
enum TIOJPEGScale : uint8_t {
  ioJPEG_AUTOCALC,
  ioJPEG_FULLSIZE,
  ioJPEG_HALF,
  ioJPEG_QUARTER,
  ioJPEG_EIGHTH
};
enum TIOPCXCompression : uint8_t { ioPCX_UNCOMPRESSED, ioPCX_RLE };
enum TIOBMPVersion : uint8_t { ioBMP_BM, ioBMP_BM3, ioBMP_BMOS2V1, ioBMP_BMOS2V2 };
enum TIOBMPCompression : uint8_t { ioBMP_UNCOMPRESSED, ioBMP_RLE };
enum TIOPNGFilter : uint8_t { ioPNG_FILTER_NONE, ioPNG_FILTER_SUB, ioPNG_FILTER_PAETH };

// Every stored and working field of the parameter set, kept apart from the component
// link so that copying fields never copies the owner.
struct TIOParamsFields {
  // Common
  int BitsPerSample = 8;
  int SamplesPerPixel = 3;
  int Width = 0;
  int Height = 0;
  int DpiX = 96;
  int DpiY = 96;
  int FileType = ioUnknown;

  // TIFF
  TIOTIFFCompression TIFF_Compression = ioTIFF_UNCOMPRESSED;
  int TIFF_ImageIndex = 0;
  TIOTIFFPhotometInterpret TIFF_PhotometInterpret = ioTIFF_RGB;
  int TIFF_PlanarConf = 1;
  int TIFF_XPos = 0;
  int TIFF_YPos = 0;
  std::string TIFF_DocumentName;
  std::string TIFF_ImageDescription;
  std::string TIFF_PageName;
  int TIFF_PageNumber = 0;
  int TIFF_PageCount = 0;
  TTIFFLZWDecompFunc TIFF_LZWDecompress = nullptr;
  TTIFFLZWCompFunc TIFF_LZWCompress = nullptr;
  // Read from the Orientation tag (274): how the stored rows map to the picture, 1 to 8
  // as in TIFF and EXIF (1 = rows top to bottom, columns left to right). The reader
  // leaves the pixels as stored; ApplyOrientation (proc/orientation.h) turns them.
  // Not part of the stored parameter stream, whose layout stays as it is.
  int TIFF_Orientation = 1;
  // The colour alpha is composited onto when a page has an alpha sample (the reader
  // takes it from the parameter set, which is all it gets). Not part of the stored
  // parameter stream either.
  TRGB TIFF_Background{};

  // GIF
  std::string GIF_Version = "GIF89a";
  int GIF_ImageIndex = 0;
  int GIF_XPos = 0;
  int GIF_YPos = 0;
  int GIF_DelayTime = 0;
  bool GIF_FlagTranspColor = false;
  TRGB GIF_TranspColor{};
  bool GIF_Interlaced = false;
  int GIF_WinWidth = 0;
  int GIF_WinHeight = 0;
  TRGB GIF_Background{};
  int GIF_Ratio = 0;
  TGIFLZWDecompFunc GIF_LZWDecompress = nullptr;
  TGIFLZWCompFunc GIF_LZWCompress = nullptr;

  // JPEG
  TIOJPEGColorspace JPEG_ColorSpace = ioJPEG_YCbCr;
  int JPEG_Quality = 50;
  TIOJPEGDctMethod JPEG_DCTMethod = ioJPEG_ISLOW;
  bool JPEG_OptimalHuffman = false;
  int JPEG_Smooth = 0;
  bool JPEG_Progressive = false;
  TIOJPEGScale JPEG_Scale = ioJPEG_FULLSIZE;

  // PCX
  int PCX_Version = 5;
  TIOPCXCompression PCX_Compression = ioPCX_RLE;

  // BMP
  TIOBMPVersion BMP_Version = ioBMP_BM3;
  TIOBMPCompression BMP_Compression = ioBMP_UNCOMPRESSED;

  // Icons and cursors
  int ICO_ImageIndex = 0;
  int CUR_ImageIndex = 0;
  int CUR_XHotSpot = 0;
  int CUR_YHotSpot = 0;

  // PNG
  bool PNG_Interlaced = false;
  TRGB PNG_Background{};
  TIOPNGFilter PNG_Filter = ioPNG_FILTER_NONE;
  int PNG_Compression = 5;

  // Tail
  std::string FileName;
  // Palette of the image read or written; ColorMapCount entries are meaningful and
  // never more than ColorMap holds (use SetColorMap / FreeColorMap to keep them in step).
  std::vector<TRGB> ColorMap;
  int ColorMapCount = 0;
};

class TIOParamsVals : public TObject, public TIOParamsFields {
 public:
  explicit TIOParamsVals(TVantixIO* owner = nullptr);
  TIOParamsVals(const TIOParamsVals& other);
  TIOParamsVals& operator=(const TIOParamsVals& other);

  void SetColorMap(std::vector<TRGB> map);
  void FreeColorMap();

  void SetDefaultParams();
  void Assign(const TIOParamsVals& source);

  // Writes version 2.
  void SaveToStream(TStream& stream) const;
  // Reads versions 0..2; a higher version changes nothing. A truncated stream leaves
  // the fields read so far changed and the rest as they were.
  void LoadFromStream(TStream& stream);
  void SaveToFile(const std::string& fileName) const;
  void LoadFromFile(const std::string& fileName);

  // Full name, " (", first extension, ")" and a per-format detail; empty when
  // FileType is not in the format table.
  std::string GetFileTypeStr() const;

  TVantixIO* Owner() const { return owner_; }
  void SetOwner(TVantixIO* owner) { owner_ = owner; }

 private:
  TVantixIO* owner_ = nullptr;
};

}  // namespace vx
