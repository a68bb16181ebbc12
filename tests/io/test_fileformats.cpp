// The format table, extension lookup and content detection.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "io/fileformats.h"
#include "platform/stream.h"
#include "testsupport.h"

using namespace vx;

namespace {

class FileFormats : public testing::Test {
 protected:
  void TearDown() override { VXFileFormatReset(); }
};

TMemoryStream StreamOf(std::vector<uint8_t> head, size_t size) {
  head.resize(std::max(head.size(), size), 0);
  head.resize(size);
  return TMemoryStream(std::move(head));
}

}  // namespace

TEST_F(FileFormats, BuiltInTable) {
  ASSERT_EQ(vxgFileFormats().size(), 10u);
  EXPECT_EQ(VXFileFormatGetInfo2("jpe"), VXFileFormatGetInfo(ioJPEG));
  EXPECT_EQ(VXFileFormatGetInfo2("JPE"), VXFileFormatGetInfo(ioJPEG));
  EXPECT_EQ(VXFileFormatGetInfo2("Tiff")->FileType, ioTIFF);
  EXPECT_EQ(VXFileFormatGetInfo2("xyz"), nullptr);
  EXPECT_EQ(VXFileFormatGetExt(1, 1), "TIFF");
  EXPECT_EQ(VXFileFormatGetExt(1, 2), "");
  EXPECT_EQ(VXFileFormatGetExt(99, 0), "");
  EXPECT_EQ(VXFileFormatGetExtCount(3), 3);
  EXPECT_EQ(VXFileFormatGetExtCount(99), 0);
  EXPECT_EQ(VXFileFormatGetInfo(ioPNG)->FullName, "Portable Network Graphics");
}

TEST_F(FileFormats, RegisteredFormatsAddAndRemove) {
  TVXFileFormatInfo info;
  info.FileType = 42;
  info.FullName = "Test Format";
  info.Extensions = "TST;TEST";
  VXFileFormatAdd(info);
  EXPECT_EQ(VXFileFormatGetInfo2("test")->FileType, 42);
  // A registration that shadows a built-in code or extension is never found.
  info.FileType = ioGIF;
  info.Extensions = "GIF;GIFX";
  VXFileFormatAdd(info);
  EXPECT_EQ(VXFileFormatGetInfo(ioGIF)->FullName, "CompuServe Bitmap");
  EXPECT_EQ(VXFileFormatGetInfo2("gif")->FullName, "CompuServe Bitmap");
  EXPECT_EQ(VXFileFormatGetInfo2("gifx")->FullName, "Test Format");
  VXFileFormatRemove(42);
  EXPECT_EQ(VXFileFormatGetInfo(42), nullptr);
  VXFileFormatRemove(1234);  // nothing to remove
  EXPECT_EQ(vxgFileFormats().size(), 11u);
}

TEST_F(FileFormats, CorpusFilesAreRecognised) {
  const struct {
    const char* folder;
    std::vector<std::string> exts;
    int type;
  } groups[] = {{"jpeg", {".jpg"}, ioJPEG},
                {"gif", {".gif"}, ioGIF},
                {"png", {".png"}, ioPNG},
                {"tiff", {".tif", ".tiff"}, ioTIFF},
                {"bmp", {".bmp"}, ioBMP}};
  int seen = 0;
  for (const auto& g : groups) {
    for (const auto& f : vxtest::CorpusFiles(g.folder, g.exts)) {
      TMemoryStream s(ReadWholeFile(f));
      s.SetPosition(0);
      EXPECT_EQ(FindStreamFormat(s), g.type) << f;
      EXPECT_EQ(s.Position(), 0) << f;
      EXPECT_EQ(FindFileFormat(f, true), g.type) << f;
      ++seen;
    }
  }
  EXPECT_GT(seen, 60);
}

TEST_F(FileFormats, BoundaryCases) {
  const struct {
    std::vector<uint8_t> head;
    size_t size;
    int want;
  } cases[] = {
      {{'M', 'M'}, 9, ioTIFF},
      {{'M', 'M'}, 8, ioUnknown},
      {{'I', 'I', 42, 0}, 100, ioTIFF},
      {{0x0A, 0x05}, 200, ioPCX},
      {{0x0A, 0x06}, 200, ioUnknown},
      {{0x0A, 0x05}, 128, ioUnknown},
      {{'P', 'C', 'X', 0}, 5, ioPCX},
      {{'P', 'C', 'X', '2'}, 13, ioPCX},
      {{'P', 'C', 'X', '2'}, 12, ioUnknown},
      {{'T', 'I', 'F', 'F'}, 13, ioTIFF},
      {{'J', 'F', 'I', 'F'}, 13, ioJPEG},
      {{0xFF, 0xD8, 0xFF}, 3, ioJPEG},
      {{'G', 'I', 'F'}, 14, ioGIF},
      {{'G', 'I', 'F'}, 13, ioUnknown},
      {{'B', 'M'}, 15, ioBMP},
      {{'B', 'M'}, 14, ioUnknown},
      {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 9, ioPNG},
      {{}, 0, ioUnknown},
  };
  for (const auto& c : cases) {
    TMemoryStream s = StreamOf(c.head, c.size);
    EXPECT_EQ(FindStreamFormat(s), c.want) << c.size << " " << (c.head.empty() ? 0 : c.head[0]);
    EXPECT_EQ(s.Position(), 0);
  }
}

TEST_F(FileFormats, DetectionStartsAtTheCurrentPosition) {
  std::vector<uint8_t> data(40, 0xEE);
  const char gif[] = "GIF89a";
  std::memcpy(data.data() + 10, gif, 6);
  TMemoryStream s(data);
  s.SetPosition(10);
  EXPECT_EQ(FindStreamFormat(s), ioGIF);
  EXPECT_EQ(s.Position(), 10);
}

TEST_F(FileFormats, RegisteredContentTestComesFirst) {
  TVXFileFormatInfo info;
  info.FileType = 50;
  info.FullName = "Anything";
  info.Extensions = "ANY";
  info.TryFunction = [](TStream& s) {
    uint8_t b;
    s.Read(&b, 1);  // moves the position; detection must restore it
    return true;
  };
  VXFileFormatAdd(info);
  TMemoryStream s(ReadWholeFile(vxtest::CorpusPath("gif/fire.gif")));
  EXPECT_EQ(FindStreamFormat(s), 50);
  EXPECT_EQ(s.Position(), 0);
}

TEST_F(FileFormats, FindFileFormatVerifiesTheExtension) {
  const std::string name = vxtest::TempDir() + "/picture.bmp";
  std::filesystem::copy_file(vxtest::CorpusPath("jpeg/testorig.jpg"), name,
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(FindFileFormat(name, true), ioUnknown);
  EXPECT_EQ(FindFileFormat(name, false), ioJPEG);
  EXPECT_EQ(FindFileFormat("/no/such/file.jpg", false), ioUnknown);
  EXPECT_EQ(ExtractFileExtLower("/a.b/c"), "");
  EXPECT_EQ(ExtractFileExtLower("x.TIFF"), ".tiff");
}
