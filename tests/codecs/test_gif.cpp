// The GIF container against giflib, ImageMagick and Pillow: the corpus decoded image by
// image, files we write and rewrite read back by the peers, damaged input, and the
// behaviour without LZW coders.
#include "codecs/giffilter.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/lzwhooks.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/stream.h"
#include "proc/convert1bit.h"
#include "testsupport.h"

namespace {

using namespace vx;
using Bytes = std::vector<uint8_t>;

// ---- peers ----

struct MemReader {
  const Bytes* data;
  size_t pos = 0;
};

int ReadMem(GifFileType* gif, GifByteType* buf, int n) {
  auto* r = static_cast<MemReader*>(gif->UserData);
  const size_t k = std::min(static_cast<size_t>(n), r->data->size() - r->pos);
  std::memcpy(buf, r->data->data() + r->pos, k);
  r->pos += k;
  return static_cast<int>(k);
}

struct GifCloser {
  void operator()(GifFileType* g) const {
    int err = 0;
    DGifCloseFile(g, &err);
  }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

// giflib's whole-file decode; null when giflib rejects the file.
GifPtr Slurp(const Bytes& file, MemReader& reader) {
  reader = MemReader{&file, 0};
  int err = 0;
  GifPtr gif(DGifOpen(&reader, ReadMem, &err));
  if (!gif || DGifSlurp(gif.get()) != GIF_OK) return nullptr;
  return gif;
}

// Pixels of giflib's image i through the palette in force, row-major RGB.
Bytes GiflibPixels(GifFileType* gif, int i) {
  const SavedImage& im = gif->SavedImages[i];
  const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
  const int n = im.ImageDesc.Width * im.ImageDesc.Height;
  Bytes out;
  for (int k = 0; k < n; ++k) {
    const int idx = im.RasterBits[k];
    const GifColorType c = map && idx < map->ColorCount ? map->Colors[idx] : GifColorType{0, 0, 0};
    out.insert(out.end(), {c.Red, c.Green, c.Blue});
  }
  return out;
}

// ImageMagick's decode of image i as raw RGB.
Bytes MagickPixels(const std::string& file, int i = 0) {
  const std::string s =
      vxtest::RunCommand("convert '" + file + "[" + std::to_string(i) + "]' -alpha off rgb:-");
  return Bytes(s.begin(), s.end());
}

Bytes PillowPixels(const std::string& file) {
  const std::string s = vxtest::RunCommand(
      "/usr/bin/python3 -c \"import sys; from PIL import Image; "
      "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" +
      file + "'");
  return Bytes(s.begin(), s.end());
}

// ---- our side ----

struct ReadResult {
  bool aborted = false;
  int count = 0;
  TBitmap bitmap;
  TIOParamsVals params;
};

ReadResult ReadOurs(TStream& s, int index, bool preview = false) {
  ReadResult r;
  r.params.GIF_ImageIndex = index;
  TProgressRec pr;
  pr.Aborting = &r.aborted;
  ReadGifStream(s, r.bitmap, r.count, preview, r.params, pr);
  return r;
}

ReadResult ReadOurs(const Bytes& file, int index, bool preview = false) {
  TMemoryStream s(file);
  return ReadOurs(s, index, preview);
}

// A photograph-like test image: smooth gradients with some texture.
TBitmap MakeImage(int w, int h, int seed = 0) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = CreateRGB(static_cast<uint8_t>(x * 255 / w), static_cast<uint8_t>(y * 255 / h),
                         static_cast<uint8_t>((x * y + seed * 40) & 0xFF));
  }
  return b;
}

TBitmap Solid(int w, int h, TRGB c) {
  TBitmap b;
  SizeBitmap(b, w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = c;
  }
  return b;
}

Bytes WriteOurs(TBitmap& b, TIOParamsVals& p, bool* abortedOut = nullptr) {
  bool aborted = false;
  TProgressRec pr;
  pr.Aborting = &aborted;
  TMemoryStream s;
  WriteGifStream(s, b, p, pr);
  if (abortedOut) *abortedOut = aborted;
  return s.Data();
}

void SaveBytes(const std::string& name, const Bytes& b) {
  TMemoryStream(b).SaveToFile(name);
}

int CountOf(const Bytes& f, const std::string& needle) {
  int n = 0;
  for (auto it = f.begin();
       (it = std::search(it, f.end(), needle.begin(), needle.end())) != f.end(); ++it)
    ++n;
  return n;
}

// ---- the corpus against giflib ----

TEST(GifRead, CorpusMatchesGiflibImageByImage) {
  const auto files = vxtest::CorpusFiles("gif", {".gif"});
  ASSERT_FALSE(files.empty());
  for (const auto& name : files) {
    SCOPED_TRACE(name);
    const Bytes file = ReadWholeFile(name);
    MemReader reader;
    GifPtr gif = Slurp(file, reader);
    ASSERT_TRUE(gif);
    for (int i = 0; i < gif->ImageCount; ++i) {
      SCOPED_TRACE(i);
      ReadResult r = ReadOurs(file, i);
      ASSERT_FALSE(r.aborted);
      EXPECT_EQ(r.count, gif->ImageCount);
      const GifImageDesc& d = gif->SavedImages[i].ImageDesc;
      ASSERT_EQ(r.bitmap.Width(), d.Width);
      ASSERT_EQ(r.bitmap.Height(), d.Height);
      EXPECT_EQ(r.params.GIF_XPos, d.Left);
      EXPECT_EQ(r.params.GIF_Interlaced, d.Interlace);
      EXPECT_EQ(vxtest::BitmapRGB(r.bitmap), GiflibPixels(gif.get(), i));
      GraphicsControlBlock gcb{};
      if (DGifSavedExtensionToGCB(gif.get(), i, &gcb) == GIF_OK) {
        EXPECT_EQ(r.params.GIF_DelayTime, gcb.DelayTime);
        EXPECT_EQ(r.params.GIF_FlagTranspColor, gcb.TransparentColor != NO_TRANSPARENT_COLOR);
      }
    }
  }
}

TEST(GifRead, FileStreamAndComponentGiveTheSameImage) {
  const std::string name = vxtest::CorpusPath("gif/treescap-interlaced.gif");
  ReadResult mem = ReadOurs(ReadWholeFile(name), 0);
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(name);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(vxtest::BitmapRGB(b), vxtest::BitmapRGB(mem.bitmap));
  EXPECT_TRUE(io.Params().GIF_Interlaced);
}

// ---- multi-image files ----

// Three solid images of different sizes and colours, each with its own delay and
// transparency, assembled with our writer and inserter.
Bytes ThreeImages() {
  const TRGB colors[3] = {CreateRGB(200, 0, 0), CreateRGB(0, 200, 0), CreateRGB(0, 0, 200)};
  Bytes file;
  for (int i = 0; i < 3; ++i) {
    TBitmap b = Solid(10 + i, 5 + i, colors[i]);
    TIOParamsVals p;
    p.BitsPerSample = 2;
    p.GIF_DelayTime = 10 * (i + 1);
    p.GIF_FlagTranspColor = i == 1;
    p.GIF_TranspColor = colors[i];
    p.GIF_ImageIndex = i;
    if (i == 0) {
      file = WriteOurs(b, p);
      continue;
    }
    TMemoryStream s(file);
    bool aborted = false;
    TProgressRec pr;
    pr.Aborting = &aborted;
    EXPECT_EQ(InsertGifImStream(s, b, p, pr), i + 1);
    EXPECT_FALSE(aborted);
    file = s.Data();
  }
  return file;
}

TEST(GifRead, SecondOfThreeImagesGivesCountDelayAndTransparency) {
  const Bytes file = ThreeImages();
  ReadResult r = ReadOurs(file, 1);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.bitmap.Width(), 11);
  EXPECT_EQ(r.params.GIF_DelayTime, 20);
  EXPECT_TRUE(r.params.GIF_FlagTranspColor);
  const TRGB px = *reinterpret_cast<const TRGB*>(r.bitmap.ScanLine(0));
  EXPECT_EQ(r.params.GIF_TranspColor, px);
  ReadResult third = ReadOurs(file, 2);
  EXPECT_FALSE(third.params.GIF_FlagTranspColor);
  EXPECT_EQ(third.params.GIF_DelayTime, 30);

  MemReader reader;
  GifPtr gif = Slurp(file, reader);
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->ImageCount, 3);
  for (int i = 0; i < 3; ++i) {
    GraphicsControlBlock gcb{};
    ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), i, &gcb), GIF_OK);
    EXPECT_EQ(gcb.DelayTime, 10 * (i + 1));
    EXPECT_EQ(gcb.TransparentColor != NO_TRANSPARENT_COLOR, i == 1);
  }
}

TEST(GifRead, ProgressEndsAtOneHundredWithAndWithoutPixels) {
  const Bytes file = ThreeImages();
  for (const bool preview : {false, true}) {
    SCOPED_TRACE(preview);
    std::vector<int> seen;
    bool aborted = false;
    TProgressRec pr;
    pr.Aborting = &aborted;
    pr.ProgressEvent = [&](TObject*, int per) { seen.push_back(per); };
    TMemoryStream s(file);
    TBitmap bmp;
    TIOParamsVals params;
    params.GIF_ImageIndex = 1;
    int count = 0;
    ReadGifStream(s, bmp, count, preview, params, pr);
    ASSERT_FALSE(aborted);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
  }
}

TEST(GifRead, FileWithoutTrailerReadsToItsEnd) {
  for (const char* name : {"gif/porsche.gif", "gif/fire.gif"}) {
    SCOPED_TRACE(name);
    Bytes file = ReadWholeFile(vxtest::CorpusPath(name));
    const ReadResult whole = ReadOurs(file, 0);
    // Everything from the trailer on goes (porsche.gif has a byte after it).
    file.resize(
        static_cast<size_t>(std::find(file.rbegin(), file.rend(), 0x3B).base() - file.begin() - 1));
    TMemoryStream s(file);
    ReadResult r = ReadOurs(s, whole.count - 1);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.count, whole.count);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(file.size()));
    EXPECT_EQ(vxtest::BitmapRGB(r.bitmap),
              vxtest::BitmapRGB(
                  ReadOurs(ReadWholeFile(vxtest::CorpusPath(name)), whole.count - 1).bitmap));
  }
}

TEST(GifRead, DamagedInputAborts) {
  const Bytes three = ThreeImages();
  // Cut inside the last image's data sub-block.
  Bytes cut(three.begin(), three.end() - 4);
  ReadResult last = ReadOurs(cut, 2);
  EXPECT_TRUE(last.aborted);
  // The images before the cut still read; the cut one is not counted.
  ReadResult first = ReadOurs(cut, 0);
  EXPECT_FALSE(first.aborted);
  EXPECT_EQ(first.count, 2);

  // A sub-block length that runs past the end, in the first image.
  Bytes bad = ReadWholeFile(vxtest::CorpusPath("gif/porsche.gif"));
  bad.resize(bad.size() / 2);
  EXPECT_TRUE(ReadOurs(bad, 0).aborted);

  // A huge image described by three bytes of data is refused before any allocation.
  const Bytes huge = {'G',  'I',  'F',  '8',  '9', 'a', 1,   0,    1,    0, 0x80, 0,
                      0,    0,    0,    0,    255, 255, 255, 0x2C, 0,    0, 0,    0,
                      0xFF, 0xFF, 0xFF, 0xFF, 0,   2,   2,   0x4C, 0x01, 0, 0x3B};
  EXPECT_FALSE(ReadOurs(huge, 0, true).aborted);
  EXPECT_TRUE(ReadOurs(huge, 0).aborted);

  Bytes notGif = three;
  notGif[0] = 'X';
  TBitmap keep = Solid(3, 3, CreateRGB(1, 2, 3));
  ReadResult r;
  {
    TMemoryStream s(notGif);
    r.bitmap = keep;
    TProgressRec pr;
    pr.Aborting = &r.aborted;
    ReadGifStream(s, r.bitmap, r.count, false, r.params, pr);
  }
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(vxtest::BitmapRGB(r.bitmap), vxtest::BitmapRGB(keep));
  EXPECT_TRUE(ReadOurs(three, 3).aborted);  // no fourth image
  EXPECT_TRUE(ReadOurs(Bytes{'G', 'I', 'F', '8'}, 0).aborted);
}

// ---- sizes the data cannot back, code sizes above 8 ----

// Sets the pixel limit for one scope and puts the previous one back.
struct PixelLimit {
  uint64_t saved = MaxImagePixels();
  explicit PixelLimit(uint64_t pixels) { SetMaxImagePixels(pixels); }
  ~PixelLimit() { SetMaxImagePixels(saved); }
  PixelLimit(const PixelLimit&) = delete;
  PixelLimit& operator=(const PixelLimit&) = delete;
};

struct Outcome {
  bool aborted = false;
  TFailure failure;
};

// Reads image 0 into a bitmap that already holds a picture.
Outcome ReadOver(const Bytes& file, TBitmap& bitmap) {
  Outcome o;
  TProgressRec pr;
  pr.Aborting = &o.aborted;
  pr.Failure = &o.failure;
  TMemoryStream s(file);
  TIOParamsVals params;
  int count = 0;
  ReadGifStream(s, bitmap, count, false, params, pr);
  return o;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A plain GIF LZW encoder for minimum code sizes 0..11, written from the format's rules
// and independent of the library's: clear first, codes as wide as the decoder's next
// entry needs, the table kept as it is once full (no further clear), end code last.
Bytes ReferenceLzw(const std::vector<uint32_t>& pixels, int codeSize) {
  const uint32_t clear = 1u << codeSize;
  std::unordered_map<uint32_t, uint32_t> table;  // (prefix code << 12 | pixel) -> code
  uint32_t next = clear + 2;
  int bits = codeSize + 1;
  std::vector<std::pair<uint32_t, int>> codes = {{clear, bits}};
  uint32_t ent = pixels.at(0);
  for (size_t i = 1; i < pixels.size(); ++i) {
    const uint32_t key = ent << 12 | pixels[i];
    if (const auto it = table.find(key); it != table.end()) {
      ent = it->second;
      continue;
    }
    codes.emplace_back(ent, bits);
    if (next < 4096) {
      table[key] = next++;
      // The decoder defines this entry one code later, and widens once its next free
      // entry reaches 2^bits.
      if (next > (1u << bits) && bits < 12) ++bits;
    }
    ent = pixels[i];
  }
  codes.emplace_back(ent, bits);
  codes.emplace_back(clear + 1, bits);

  Bytes packed;
  uint64_t acc = 0;
  int n = 0;
  for (const auto& [code, width] : codes) {
    acc |= static_cast<uint64_t>(code) << n;
    for (n += width; n >= 8; n -= 8, acc >>= 8) packed.push_back(static_cast<uint8_t>(acc));
  }
  if (n > 0) packed.push_back(static_cast<uint8_t>(acc));
  Bytes out = {static_cast<uint8_t>(codeSize)};
  for (size_t i = 0; i < packed.size(); i += 255) {
    const size_t k = std::min<size_t>(255, packed.size() - i);
    out.push_back(static_cast<uint8_t>(k));
    out.insert(out.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
               packed.begin() + static_cast<std::ptrdiff_t>(i + k));
  }
  out.push_back(0);
  return out;
}

// A one-image GIF around LZW data, with a global table of 2^tableBits colours.
Bytes GifAround(int width, int height, int tableBits, bool interlaced, const Bytes& lzw,
                const std::vector<TRGB>& colours) {
  Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
  auto le16 = [&](int v) {
    g.push_back(static_cast<uint8_t>(v & 0xFF));
    g.push_back(static_cast<uint8_t>(v >> 8));
  };
  le16(width);
  le16(height);
  g.insert(g.end(), {static_cast<uint8_t>(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)), 0, 0});
  for (int i = 0; i < (1 << tableBits); ++i) {
    const TRGB c = colours.at(static_cast<size_t>(i));
    g.insert(g.end(), {c.r, c.g, c.b});
  }
  g.push_back(0x2C);
  for (int v : {0, 0, width, height}) le16(v);
  g.push_back(interlaced ? 0x40 : 0);
  g.insert(g.end(), lzw.begin(), lzw.end());
  g.push_back(0x3B);
  return g;
}

std::vector<TRGB> Ramp256() {
  std::vector<TRGB> c;
  for (int i = 0; i < 256; ++i)
    c.push_back(CreateRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7),
                          static_cast<uint8_t>(255 - i)));
  return c;
}

TEST(GifRead, CodeSizesUpToElevenDecodeLikeThePeersAndLargerAreRefused) {
  const bool magick = vxtest::CommandSucceeds("convert -version");
  const bool pillow = vxtest::CommandSucceeds("/usr/bin/python3 -c 'import PIL'");
  const int w = 97, h = 61;
  std::vector<uint32_t> indices;
  Bytes expected;
  const std::vector<TRGB> colours = Ramp256();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = static_cast<uint32_t>(x * 3 + y * 5 + (x * y) % 3) & 0xFF;
      indices.push_back(v);
      expected.insert(expected.end(), {colours[v].r, colours[v].g, colours[v].b});
    }
  const std::string dir = vxtest::TempDir();
  for (const int cs : {9, 11}) {
    SCOPED_TRACE(cs);
    const Bytes file = GifAround(w, h, 8, false, ReferenceLzw(indices, cs), colours);
    TBitmap b;
    const Outcome o = ReadOver(file, b);
    ASSERT_FALSE(o.aborted) << o.failure.Reason;
    EXPECT_EQ(vxtest::BitmapRGB(b), expected);
    const std::string name = dir + "/cs" + std::to_string(cs) + ".gif";
    SaveBytes(name, file);
    if (magick) {
      EXPECT_EQ(MagickPixels(name), expected);
    }
    if (pillow) {
      EXPECT_EQ(PillowPixels(name), expected);
    }
  }
  // Code sizes 0 and 1 follow the same rules; ImageMagick and Pillow refuse them, giflib
  // decodes them.
  for (const int cs : {0, 1}) {
    SCOPED_TRACE(cs);
    std::vector<uint32_t> few;
    for (uint32_t v : indices) few.push_back(v & ((1u << cs) - 1));
    const Bytes file = GifAround(w, h, 8, false, ReferenceLzw(few, cs), colours);
    TBitmap b;
    const Outcome o = ReadOver(file, b);
    ASSERT_FALSE(o.aborted) << o.failure.Reason;
    MemReader reader;
    GifPtr gif = Slurp(file, reader);
    ASSERT_TRUE(gif);
    EXPECT_EQ(vxtest::BitmapRGB(b), GiflibPixels(gif.get(), 0));
  }
  // A literal past 255 has no byte index to become: refused, the picture kept.
  indices[100] = 300;
  TBitmap keep = Solid(3, 2, CreateRGB(4, 5, 6));
  const Outcome o = ReadOver(GifAround(w, h, 8, false, ReferenceLzw(indices, 11), colours), keep);
  EXPECT_TRUE(o.aborted);
  EXPECT_TRUE(Contains(o.failure.Reason, "beyond 255")) << o.failure.Reason;
  EXPECT_EQ(vxtest::BitmapRGB(keep), vxtest::BitmapRGB(Solid(3, 2, CreateRGB(4, 5, 6))));
  // From 12 on no code fits.
  Bytes twelve = ReferenceLzw({1, 2, 3}, 8);
  twelve[0] = 12;
  const Outcome o12 = ReadOver(GifAround(3, 1, 8, false, twelve, colours), keep);
  EXPECT_TRUE(o12.aborted);
  EXPECT_TRUE(Contains(o12.failure.Reason, "code size 12")) << o12.failure.Reason;
}

TEST(GifRead, ClaimedSizeBeyondTheLimitOrTheDataIsRefusedBeforeAllocating) {
  // 65535 x 65535 (the largest a GIF can claim) over three bytes of LZW data.
  const Bytes huge = {'G',  'I',  'F',  '8',  '9', 'a', 1,   0,    1,    0, 0x80, 0,
                      0,    0,    0,    0,    255, 255, 255, 0x2C, 0,    0, 0,    0,
                      0xFF, 0xFF, 0xFF, 0xFF, 0,   2,   2,   0x4C, 0x01, 0, 0x3B};
  const Bytes picture = vxtest::BitmapRGB(MakeImage(5, 4));
  {
    TBitmap b = MakeImage(5, 4);
    const Outcome o = ReadOver(huge, b);
    EXPECT_TRUE(o.aborted);
    EXPECT_TRUE(Contains(o.failure.Reason, "pixel limit")) << o.failure.Reason;
    EXPECT_EQ(vxtest::BitmapRGB(b), picture);
  }
  {
    PixelLimit none(0);
    TBitmap b = MakeImage(5, 4);
    const Outcome o = ReadOver(huge, b);
    EXPECT_TRUE(o.aborted);
    EXPECT_TRUE(Contains(o.failure.Reason, "2 bytes of LZW data")) << o.failure.Reason;
    EXPECT_FALSE(o.failure.OutOfMemory);
    EXPECT_EQ(vxtest::BitmapRGB(b), picture);
  }
  EXPECT_EQ(MaxImagePixels(), kDefaultMaxImagePixels);
  // A preview allocates nothing and tells the size as it is.
  const ReadResult preview = ReadOurs(huge, 0, true);
  EXPECT_FALSE(preview.aborted);
  EXPECT_EQ(preview.params.Width, 65535);
  EXPECT_EQ(preview.params.Height, 65535);
}

TEST(GifRead, DensestLzwStillLoadsWhileDataTooShortForItsSizeIsRefused) {
  // One colour, 4096 x 4096, coded with a table that is never cleared: after the table
  // fills, every 12-bit code names its longest entry, as dense as GIF data gets.
  const int w = 4096, h = 4096;
  const std::vector<TRGB> bw = {CreateRGB(0, 0, 0), CreateRGB(255, 255, 255)};
  const Bytes dense = ReferenceLzw(std::vector<uint32_t>(static_cast<size_t>(w) * h, 1), 2);
  TBitmap b;
  const Outcome o = ReadOver(GifAround(w, h, 1, false, dense, bw), b);
  ASSERT_FALSE(o.aborted) << o.failure.Reason;
  ASSERT_EQ(b.PixelFormat(), pf1bit);
  const Bytes white(static_cast<size_t>(w / 8), 0xFF);
  for (int y : {0, h / 2, h - 1})
    EXPECT_TRUE(std::equal(white.begin(), white.end(), b.ScanLine(y))) << "row " << y;
  // Our own encoder (which restarts its table) on the same picture also loads.
  TBitmap solid;
  SizeBitmap(solid, w, 256, pf1bit);
  for (int y = 0; y < 256; ++y) std::memset(solid.ScanLine(y), 0xFF, static_cast<size_t>(w / 8));
  TIOParamsVals p;
  p.BitsPerSample = 1;
  TBitmap back;
  const Outcome ours = ReadOver(WriteOurs(solid, p), back);
  EXPECT_FALSE(ours.aborted) << ours.failure.Reason;

  // The same data claiming about 4000 pixels a byte (more than a 12-bit code can name
  // per 12 bits) is refused, though the pixels would fit the limit.
  const int claimedH = static_cast<int>(dense.size() * 4000 / w);
  ASSERT_LE(static_cast<uint64_t>(w) * claimedH, MaxImagePixels());
  const Outcome refused = ReadOver(GifAround(w, claimedH, 1, false, dense, bw), b);
  EXPECT_TRUE(refused.aborted);
  EXPECT_TRUE(Contains(refused.failure.Reason, "bytes of LZW data can describe"))
      << refused.failure.Reason;
}

// ---- without LZW coders ----

class GifWithoutHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    savedDecomp_ = DefGIF_LZWDECOMPFUNC;
    savedComp_ = DefGIF_LZWCOMPFUNC;
    DefGIF_LZWDECOMPFUNC = nullptr;
    DefGIF_LZWCOMPFUNC = nullptr;
  }
  void TearDown() override {
    DefGIF_LZWDECOMPFUNC = savedDecomp_;
    DefGIF_LZWCOMPFUNC = savedComp_;
  }
  TGIFLZWDecompFunc savedDecomp_ = nullptr;
  TGIFLZWCompFunc savedComp_ = nullptr;
};

TEST_F(GifWithoutHooks, ReadAbortsButPreviewFillsParameters) {
  const Bytes file = ReadWholeFile(vxtest::CorpusPath("gif/porsche.gif"));
  ReadResult r;
  r.params.GIF_LZWDecompress = nullptr;
  TMemoryStream s(file);
  TProgressRec pr;
  pr.Aborting = &r.aborted;
  ReadGifStream(s, r.bitmap, r.count, true, r.params, pr);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.params.Width, 320);
  EXPECT_EQ(r.params.Height, 200);
  EXPECT_EQ(r.params.GIF_Version, std::string(file.begin(), file.begin() + 6));
  EXPECT_GT(r.params.ColorMapCount, 0);
  EXPECT_EQ(r.params.BitsPerSample, (file[10] & 7) + 1);

  TBitmap b = Solid(4, 4, CreateRGB(9, 9, 9));
  const Bytes before = vxtest::BitmapRGB(b);
  bool aborted = false;
  TProgressRec pr2;
  pr2.Aborting = &aborted;
  TIOParamsVals p;
  p.GIF_LZWDecompress = nullptr;
  TMemoryStream s2(file);
  int count = 0;
  ReadGifStream(s2, b, count, false, p, pr2);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(vxtest::BitmapRGB(b), before);
}

TEST_F(GifWithoutHooks, WriteAndInsertAbortAndChangeNothing) {
  TBitmap b = MakeImage(8, 8);
  TIOParamsVals p;
  p.GIF_LZWCompress = nullptr;
  bool aborted = false;
  EXPECT_TRUE(WriteOurs(b, p, &aborted).empty());
  EXPECT_TRUE(aborted);

  DefGIF_LZWCOMPFUNC = savedComp_;
  TIOParamsVals withCoder;
  const Bytes file = WriteOurs(b, withCoder);
  DefGIF_LZWCOMPFUNC = nullptr;
  TMemoryStream s(file);
  aborted = false;
  TProgressRec pr;
  pr.Aborting = &aborted;
  InsertGifImStream(s, b, p, pr);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(s.Data(), file);
}

// ---- files we write, read by the peers ----

TEST(GifWrite, PeersReadWhatWeWrite) {
  const std::string dir = vxtest::TempDir();
  const bool magick = vxtest::CommandSucceeds("convert -version");
  const bool pillow = vxtest::CommandSucceeds("/usr/bin/python3 -c 'import PIL'");
  TBitmap src = MakeImage(37, 23);
  for (int bits : {1, 2, 4, 8})
    for (bool interlaced : {false, true})
      for (bool transparent : {false, true}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, interlaced " << interlaced
                                        << ", transparent " << transparent);
        TIOParamsVals p;
        p.BitsPerSample = bits;
        p.GIF_Interlaced = interlaced;
        p.GIF_FlagTranspColor = transparent;
        p.GIF_TranspColor = *reinterpret_cast<const TRGB*>(src.ScanLine(5));
        p.GIF_DelayTime = 42;
        const Bytes file = WriteOurs(src, p);
        ReadResult ours = ReadOurs(file, 0);
        ASSERT_FALSE(ours.aborted);
        EXPECT_EQ(ours.params.BitsPerSample, bits);
        const Bytes mine = vxtest::BitmapRGB(ours.bitmap);

        MemReader reader;
        GifPtr gif = Slurp(file, reader);
        ASSERT_TRUE(gif);
        ASSERT_EQ(gif->ImageCount, 1);
        EXPECT_EQ(gif->SavedImages[0].ImageDesc.Interlace, interlaced);
        EXPECT_EQ(gif->SColorMap->ColorCount, 1 << bits);
        GraphicsControlBlock gcb{};
        ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), 0, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, 42);
        EXPECT_EQ(gcb.TransparentColor != NO_TRANSPARENT_COLOR, transparent);
        EXPECT_EQ(GiflibPixels(gif.get(), 0), mine);

        const std::string name = dir + "/w" + std::to_string(bits) + (interlaced ? "i" : "") +
                                 (transparent ? "t" : "") + ".gif";
        SaveBytes(name, file);
        if (magick) {
          EXPECT_EQ(MagickPixels(name), mine);
        }
        if (pillow) {
          EXPECT_EQ(PillowPixels(name), mine);
        }
      }
}

TEST(GifWrite, OneBitPhotographIsDitheredBlackAndWhite) {
  TBitmap photo = MakeImage(40, 24);
  TIOParamsVals p;
  p.BitsPerSample = 1;
  const Bytes file = WriteOurs(photo, p);
  MemReader reader;
  GifPtr gif = Slurp(file, reader);
  ASSERT_TRUE(gif);
  const ColorMapObject* map = gif->SColorMap;
  ASSERT_EQ(map->ColorCount, 2);
  EXPECT_EQ(map->Colors[0].Red + map->Colors[0].Green + map->Colors[0].Blue, 0);
  EXPECT_EQ(map->Colors[1].Red + map->Colors[1].Green + map->Colors[1].Blue, 3 * 255);
  TBitmap dithered;
  dithered.Assign(photo);
  TProgressRec quiet;
  ConvertToBWOrdered(dithered, quiet);
  EXPECT_EQ(GiflibPixels(gif.get(), 0), vxtest::BitmapRGB(dithered));
  ReadResult r = ReadOurs(file, 0);
  EXPECT_EQ(r.bitmap.PixelFormat(), pf1bit);
}

TEST(GifWrite, TwoColourImageAtOneBitKeepsItsColours) {
  TBitmap b = Solid(9, 4, CreateRGB(200, 30, 30));
  reinterpret_cast<TRGB*>(b.ScanLine(2))[3] = CreateRGB(10, 10, 120);
  TIOParamsVals p;
  p.BitsPerSample = 1;
  ReadResult r = ReadOurs(WriteOurs(b, p), 0);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(vxtest::BitmapRGB(r.bitmap), vxtest::BitmapRGB(b));
}

// ---- rewrites of files ----

struct FrameInfo {
  int width;
  int delay;
};

std::vector<FrameInfo> GiflibFrames(const std::string& name, int* loopBlocks = nullptr) {
  const Bytes file = ReadWholeFile(name);
  MemReader reader;
  GifPtr gif = Slurp(file, reader);
  std::vector<FrameInfo> out;
  if (!gif) return out;
  int loops = 0;
  auto countLoops = [&](int n, const ExtensionBlock* blocks) {
    for (int k = 0; k < n; ++k)
      if (blocks[k].Function == APPLICATION_EXT_FUNC_CODE && blocks[k].ByteCount == 11 &&
          std::memcmp(blocks[k].Bytes, "NETSCAPE2.0", 11) == 0)
        ++loops;
  };
  countLoops(gif->ExtensionBlockCount, gif->ExtensionBlocks);
  for (int i = 0; i < gif->ImageCount; ++i) {
    GraphicsControlBlock gcb{};
    DGifSavedExtensionToGCB(gif.get(), i, &gcb);
    out.push_back({gif->SavedImages[i].ImageDesc.Width, gcb.DelayTime});
    countLoops(gif->SavedImages[i].ExtensionBlockCount, gif->SavedImages[i].ExtensionBlocks);
  }
  if (loopBlocks) *loopBlocks = loops;
  return out;
}

// "width delay" per frame as ImageMagick sees them.
std::string MagickFrames(const std::string& name) {
  return vxtest::RunCommand("identify -format '%w %T,' '" + name + "'");
}

int InsertFile(const std::string& name, int index, int width, int delay) {
  TBitmap b = Solid(width, 6, CreateRGB(static_cast<uint8_t>(width * 7), 90, 40));
  TIOParamsVals p;
  p.BitsPerSample = 4;
  p.GIF_ImageIndex = index;
  p.GIF_DelayTime = delay;
  bool aborted = false;
  TProgressRec pr;
  pr.Aborting = &aborted;
  const int n = InsertGifIm(name, b, p, pr);
  EXPECT_FALSE(aborted);
  return n;
}

TEST(GifFile, InsertDeleteAndMakeAnimate) {
  const std::string name = vxtest::TempDir() + "/anim.gif";
  {
    TBitmap b = Solid(20, 6, CreateRGB(10, 20, 30));
    TIOParamsVals p;
    p.GIF_DelayTime = 5;
    SaveBytes(name, WriteOurs(b, p));
  }
  EXPECT_EQ(InsertFile(name, 1, 21, 6), 2);  // at the end
  EXPECT_EQ(InsertFile(name, 0, 22, 7), 3);  // at the front
  EXPECT_EQ(InsertFile(name, 1, 23, 8), 4);  // in the middle
  EXPECT_FALSE(CheckGifAnimate(name));
  GifMakeAnimate(name, 0, 40, 10);
  GifMakeAnimate(name, 3, 40, 10);
  EXPECT_TRUE(CheckGifAnimate(name));

  int loops = 0;
  std::vector<FrameInfo> frames = GiflibFrames(name, &loops);
  ASSERT_EQ(frames.size(), 4u);
  const int widths[4] = {22, 23, 20, 21}, delays[4] = {7, 8, 5, 6};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(frames[i].width, widths[i]);
    EXPECT_EQ(frames[i].delay, delays[i]);
  }
  EXPECT_EQ(loops, 1);
  const Bytes file = ReadWholeFile(name);
  EXPECT_EQ(CountOf(file, "NETSCAPE2.0"), 1);
  EXPECT_EQ(CountOf(file, std::string("NETSCAPE2.0\x03\x01\x03\x00", 15)), 1);  // loop count 3
  EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
  EXPECT_EQ(file[6] | (file[7] << 8), 40);
  if (vxtest::CommandSucceeds("giftext -h")) {
    const std::string text = vxtest::RunCommand("giftext '" + name + "'");
    EXPECT_EQ(CountOf(Bytes(text.begin(), text.end()), "application block"), 1);
  }
  if (vxtest::CommandSucceeds("identify -version")) {
    EXPECT_EQ(MagickFrames(name), "22 7,23 8,20 5,21 6,");
  }

  EXPECT_EQ(DeleteGifIm(name, 1, true), 3);
  EXPECT_EQ(DeleteGifIm(name, -1, false), 3);
  frames = GiflibFrames(name, &loops);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].width, 22);
  EXPECT_EQ(frames[1].width, 20);
  EXPECT_EQ(frames[1].delay, 5);
  EXPECT_EQ(frames[2].width, 21);
  EXPECT_EQ(loops, 1);
  EXPECT_TRUE(CheckGifAnimate(name));
  if (vxtest::CommandSucceeds("identify -version")) {
    EXPECT_EQ(MagickFrames(name), "22 7,20 5,21 6,");
  }

  // An index with no place in the file changes nothing.
  const Bytes before = ReadWholeFile(name);
  TBitmap b = Solid(5, 5, CreateRGB(1, 1, 1));
  TIOParamsVals p;
  p.GIF_ImageIndex = 9;
  bool aborted = false;
  TProgressRec pr;
  pr.Aborting = &aborted;
  InsertGifIm(name, b, p, pr);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(ReadWholeFile(name), before);
  EXPECT_EQ(DeleteGifIm(name, 7, true), 3);
  EXPECT_EQ(ReadWholeFile(name), before);
}

TEST(GifFile, ComponentInsertMakesALoopingAnimation) {
  const std::string name = vxtest::TempDir() + "/io.gif";
  TBitmap b = MakeImage(16, 12);
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  io.SaveToFile(name);
  ASSERT_FALSE(io.Aborting());
  io.Params().GIF_ImageIndex = 1;
  io.Params().GIF_XPos = 4;
  EXPECT_EQ(io.InsertToFileGif(name), 2);
  EXPECT_EQ(EnumGifIm(name), 2);
  EXPECT_TRUE(CheckAniGif(name));
  const Bytes file = ReadWholeFile(name);
  EXPECT_EQ(file[6] | (file[7] << 8), 20);
  EXPECT_EQ(GiflibFrames(name).size(), 2u);
}

}  // namespace

namespace {

// Caps the size of files this process may write, as a full disk would.
struct FileSizeLimit {
  rlimit old{};
  void (*oldHandler)(int);
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
  }
};

TEST(GifFile, RewriteThatCannotBeWrittenKeepsTheFile) {
  const std::string dir = vxtest::TempDir() + "/gif-full";
  std::filesystem::create_directories(dir);
  const std::string name = dir + "/three.gif";
  SaveBytes(name, ThreeImages());
  const Bytes before = ReadWholeFile(name);
  {
    FileSizeLimit limit(before.size() / 4);
    EXPECT_ANY_THROW(GifMakeAnimate(name, 0, 40, 10));
    EXPECT_ANY_THROW(DeleteGifIm(name, 1, true));
    TBitmap b = Solid(30, 30, CreateRGB(5, 6, 7));
    TIOParamsVals p;
    p.GIF_ImageIndex = 1;
    TProgressRec pr;
    EXPECT_ANY_THROW(InsertGifIm(name, b, p, pr));
  }
  EXPECT_EQ(ReadWholeFile(name), before);
  // No half-written file is left beside it.
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1);
}

}  // namespace
