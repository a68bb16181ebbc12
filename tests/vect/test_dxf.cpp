// DXF import: drawings written by a real DXF writer (ezdxf) in two versions, checked
// against the placement formula worked out here, and hand-made text that is malformed
// in every way a file can be.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/stream.h"
#include "testsupport.h"
#include "vect/vxvstore.h"

using namespace vx;

namespace {

constexpr int kW = 640, kH = 480;
const std::string kPython = "/usr/bin/python3";

struct Entity {
  std::string type;  // LINE, CIRCLE, ARC
  std::string layer;
  double a, b, c, d, e;  // LINE: x1 y1 x2 y2; CIRCLE/ARC: cx cy r start end
};

const std::vector<Entity>& Drawing() {
  static const std::vector<Entity> d = {
      {"LINE", "walls", -10, -20, 190, 80, 0},   {"LINE", "walls", 0, 0, 50.5, 12.25, 0},
      {"CIRCLE", "doors", 40, 30, 15, 0, 0},     {"ARC", "doors", 100, 40, 25, 30, 135},
      {"LINE", "0", 180, 79.9, -9.5, -19.75, 0}, {"ARC", "hatch", -5, 70, 3.5, 270, 45},
      {"CIRCLE", "0", 150, -10, 0.5, 0, 0},
  };
  return d;
}
constexpr double kMinX = -10, kMinY = -20, kMaxX = 190, kMaxY = 80;

bool HaveEzdxf() {
  return vxtest::CommandSucceeds(kPython + " -c 'import ezdxf'");
}

// Writes the drawing with ezdxf; a block definition holds a line that must stay out of
// the import (it is not in the ENTITIES section).
std::string WriteWithEzdxf(const std::string& version) {
  const std::string dir = vxtest::TempDir();
  const std::string out = dir + "/drawing_" + version + ".dxf";
  std::ostringstream py;
  py.precision(17);
  py << "import ezdxf\n"
     << "doc = ezdxf.new('" << version << "')\n"
     << "for name in ('walls', 'doors', 'hatch'):\n"
     << "    doc.layers.add(name)\n"
     << "blk = doc.blocks.new(name='MARK')\n"
     << "blk.add_line((0, 0), (1000, 1000))\n"
     << "msp = doc.modelspace()\n"
     // The header's extents are the model space's, written on saving.
     << "msp.dxf.extmin = (" << kMinX << ", " << kMinY << ", 0)\n"
     << "msp.dxf.extmax = (" << kMaxX << ", " << kMaxY << ", 0)\n";
  for (const Entity& e : Drawing()) {
    const std::string attribs = "dxfattribs={'layer': '" + e.layer + "'}";
    if (e.type == "LINE")
      py << "msp.add_line((" << e.a << ", " << e.b << "), (" << e.c << ", " << e.d << "), "
         << attribs << ")\n";
    else if (e.type == "CIRCLE")
      py << "msp.add_circle((" << e.a << ", " << e.b << "), " << e.c << ", " << attribs << ")\n";
    else
      py << "msp.add_arc((" << e.a << ", " << e.b << "), " << e.c << ", " << e.d << ", " << e.e
         << ", " << attribs << ")\n";
  }
  py << "msp.add_blockref('MARK', (5, 5))\n"
     << "doc.saveas('" << out << "')\n";
  const std::string script = dir + "/make_" + version + ".py";
  std::ofstream(script) << py.str();
  EXPECT_TRUE(vxtest::CommandSucceeds(kPython + " " + script)) << py.str();
  return out;
}

// The placement, worked out from the extents: the larger of the two spans fills the
// image, x grows to the right from the minimum, y is turned so that the maximum is at
// the top.
struct Placement {
  double minX, minY, s;
  int64_t o;
  int X(double x) const { return static_cast<int>(std::trunc((x - minX) * s)); }
  int Y(double y) const { return static_cast<int>(kH - std::trunc((y - minY) * s) - o); }
};

Placement FromExtents(double minX, double minY, double maxX, double maxY) {
  const double s = std::min(kH / (maxY - minY + 1), kW / (maxX - minX + 1));
  return {minX, minY, s, kH - static_cast<int64_t>(std::trunc((maxY - minY) * s))};
}

void ExpectImported(const TVXVObjectStore& st, const std::vector<Entity>& drawing,
                    const Placement& p) {
  const auto& kids = st.Root().Children;
  ASSERT_EQ(kids.size(), drawing.size());
  for (size_t k = 0; k < drawing.size(); ++k) {
    SCOPED_TRACE("entity " + std::to_string(k));
    const Entity& e = drawing[k];
    const TVXVObject& o = *st.Object(kids[k]);
    EXPECT_EQ(o.BeginShape, vxsNONE);
    EXPECT_EQ(o.EndShape, vxsNONE);
    EXPECT_EQ(o.ShapeWidth, 10);
    EXPECT_EQ(o.ShapeHeight, 20);
    EXPECT_EQ(o.PenWidth, 1);
    if (e.type == "LINE") {
      EXPECT_EQ(o.Kind, vxkLINE);
      EXPECT_EQ((TRect{o.Left, o.Top, o.Right, o.Bottom}),
                (TRect{p.X(e.a), p.Y(e.b), p.X(e.c), p.Y(e.d)}));
      continue;
    }
    EXPECT_EQ(o.Kind, e.type == "ARC" ? vxkARC : vxkELLIPSE);
    const int x1 = p.X(e.a - e.c), x2 = p.X(e.a + e.c);
    const int y1 = p.Y(e.b - e.c), y2 = p.Y(e.b + e.c);
    EXPECT_EQ((TRect{o.Left, o.Top, o.Right, o.Bottom}),
              (TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)}));
    if (e.type == "ARC") {
      EXPECT_NEAR(o.ArcBegin, 2 * std::numbers::pi - e.d * std::numbers::pi / 180, 1e-12);
      EXPECT_NEAR(o.ArcEnd, 2 * std::numbers::pi - e.e * std::numbers::pi / 180, 1e-12);
    }
  }
}

TEST(DXFImport, DrawingsFromARealWriter) {
  if (!HaveEzdxf()) GTEST_SKIP() << "python3-ezdxf is not installed";
  const Placement p = FromExtents(kMinX, kMinY, kMaxX, kMaxY);
  for (const std::string version : {"R12", "R2000"}) {
    SCOPED_TRACE(version);
    const std::string file = WriteWithEzdxf(version);
    TVXVObjectStore st;
    st.SetImageSize(kW, kH);
    st.SetObjPenColor(kVXVTemplate, clRed);
    st.SetObjBeginShape(kVXVTemplate, vxsINARROW);
    st.SetObjPenWidth(kVXVTemplate, 5);
    int changes = 0;
    st.OnChanged = [&](int32_t) { ++changes; };
    st.ImportDXF(file);
    EXPECT_EQ(changes, 1);
    ExpectImported(st, Drawing(), p);
    EXPECT_EQ(st.ObjPenColor(st.Root().Children[0]), clRed);  // the template's colour
    // The extents' corners land on the image's corners: the top-left at (0, 0).
    const TVXVObject& diagonal = *st.Object(st.Root().Children[0]);
    EXPECT_EQ(diagonal.Left, 0);
    EXPECT_EQ(diagonal.Bottom, 0);
  }
}

struct TextCase {
  const char* what;
  std::string text;
  std::vector<TRect> lines;  // expected boxes of the imported objects, in order
};

std::string Pairs(const std::vector<std::pair<std::string, std::string>>& pairs,
                  const char* eol = "\n") {
  std::string s;
  for (const auto& [code, value] : pairs) s += code + eol + value + eol;
  return s;
}

// A section with a single line in it, placed 1:1 (no header): x as is, y = H - y.
std::string EntitiesWith(const std::vector<std::pair<std::string, std::string>>& body) {
  std::vector<std::pair<std::string, std::string>> all = {{"0", "SECTION"}, {"2", "ENTITIES"}};
  all.insert(all.end(), body.begin(), body.end());
  all.push_back({"0", "ENDSEC"});
  all.push_back({"0", "EOF"});
  return Pairs(all);
}

std::vector<std::pair<std::string, std::string>> Line(const std::string& x1, const std::string& y1,
                                                      const std::string& x2,
                                                      const std::string& y2) {
  return {{"0", "LINE"}, {"8", "0"}, {"10", x1}, {"20", y1}, {"11", x2}, {"21", y2}};
}

std::vector<std::pair<std::string, std::string>> Join(
    std::initializer_list<std::vector<std::pair<std::string, std::string>>> parts) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(DXFImport, MalformedTextIsSkippedNotFatal) {
  const int32_t kMax = 2147483647, kMin = -2147483647 - 1;
  std::vector<TextCase> cases = {
      {"no sections", Pairs(Line("1", "2", "3", "4")), {}},
      {"1:1 without a header", EntitiesWith(Line("1", "2", "3.9", "4")), {{1, kH - 2, 3, kH - 4}}},
      {"comma decimals are no numbers",
       EntitiesWith(Join({Line("1,5", "2", "3", "4"), Line("5", "6", "7", "8")})),
       {{5, kH - 6, 7, kH - 8}}},
      {"a missing code does not borrow from the next entity",
       EntitiesWith(Join(
           {{{"0", "LINE"}, {"10", "1"}, {"20", "2"}, {"11", "3"}}, Line("10", "20", "30", "40")})),
       {{10, kH - 20, 30, kH - 40}}},
      {"not-a-number, infinity and overflow",
       EntitiesWith(Join({Line("nan", "0", "1", "1"), Line("inf", "0", "1", "1"),
                          Line("1e999", "0", "1", "1"), Line("0", "0", "1", "1")})),
       {{0, kH, 1, kH - 1}}},
      {"huge coordinates saturate",
       EntitiesWith(Line("1e300", "-1e300", "-3e9", "3e9")),
       // y = -1e300 turns into H - (most negative), which no longer fits either.
       {{kMax, kMax, kMin, kH - kMax}}},
      {"codes with spaces and a plus sign, values with trailing blanks",
       EntitiesWith(
           {{"  0", "LINE  "}, {" 10", "+1.5"}, {"20 ", " 2"}, {"11", "3e0"}, {"21", "4."}}),
       {{1, kH - 2, 3, kH - 4}}},
      {"a code line that is no integer",
       EntitiesWith(Join({{{"zero", "LINE"}}, Line("1", "1", "2", "2")})),
       {{1, kH - 1, 2, kH - 2}}},
      {"SECTION at the end", "0\nSECTION\n", {}},
      {"a code without its value",
       EntitiesWith(Line("1", "2", "3", "4")) + "0\n",
       {{1, kH - 2, 3, kH - 4}}},
      {"unknown section",
       Pairs({{"0", "SECTION"}, {"2", "NOTES"}}) + Pairs(Line("1", "2", "3", "4")),
       {}},
      {"section name without code 2",
       Pairs({{"0", "SECTION"}, {"3", "ENTITIES"}}) + Pairs(Line("1", "2", "3", "4")),
       {}},
      {"zero span",
       Pairs({{"0", "SECTION"},
              {"2", "HEADER"},
              {"9", "$EXTMIN"},
              {"10", "5"},
              {"20", "5"},
              {"9", "$EXTMAX"},
              {"10", "5"},
              {"20", "5"},
              {"0", "ENDSEC"}}) +
           EntitiesWith(Line("5", "5", "5.5", "6")),
       // s = min(480 / 1, 640 / 1), o = 480: the extents point sits at the top left.
       {{0, 0, 240, -480}}},
      {"reversed extents mean none",
       Pairs({{"0", "SECTION"},
              {"2", "HEADER"},
              {"9", "$EXTMIN"},
              {"10", "1e20"},
              {"20", "1e20"},
              {"9", "$EXTMAX"},
              {"10", "-1e20"},
              {"20", "-1e20"},
              {"0", "ENDSEC"}}) +
           EntitiesWith(Line("1", "2", "3", "4")),
       {{1, kH - 2, 3, kH - 4}}},
      {"an extent without its y",
       Pairs({{"0", "SECTION"},
              {"2", "HEADER"},
              {"9", "$EXTMIN"},
              {"10", "100"},
              {"9", "$EXTMAX"},
              {"10", "1000"},
              {"20", "1000"},
              {"0", "ENDSEC"}}) +
           EntitiesWith(Line("0", "0", "1", "1")),
       // The minimum stays (0, 0); s = 480 / 1001, o = 480 - Trunc(1000 s) = 1.
       {{0, 479, 0, 479}}},
      {"CR line ends",
       EntitiesWith({}).substr(0, 0) +
           Pairs(Join({{{"0", "SECTION"}, {"2", "ENTITIES"}}, Line("1", "2", "3", "4")}), "\r"),
       {{1, kH - 2, 3, kH - 4}}},
      {"CR LF line ends",
       Pairs(Join({{{"0", "SECTION"}, {"2", "ENTITIES"}}, Line("1", "2", "3", "4")}), "\r\n"),
       {{1, kH - 2, 3, kH - 4}}},
      {"a circle without radius, then an arc",
       EntitiesWith({{"0", "CIRCLE"},
                     {"10", "1"},
                     {"20", "1"},
                     {"0", "ARC"},
                     {"10", "10"},
                     {"20", "10"},
                     {"40", "2"},
                     {"50", "0"},
                     {"51", "90"}}),
       {{8, kH - 12, 12, kH - 8}}},
      {"a very long line", EntitiesWith({{"999", std::string(3000000, 'x')}}), {}},
      {"binary junk",
       std::string("\0\x01\xff\n\n\r\r0\nSECTION\n2\nENTITIES\n0\nLINE\n\x80", 36),
       {}},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    TVXVObjectStore st;
    st.SetImageSize(kW, kH);
    TMemoryStream s(std::vector<uint8_t>(c.text.begin(), c.text.end()));
    const auto t0 = std::chrono::steady_clock::now();
    st.ImportDXFStream(s);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    const auto& kids = st.Root().Children;
    ASSERT_EQ(kids.size(), c.lines.size());
    for (size_t k = 0; k < kids.size(); ++k) {
      const TVXVObject& o = *st.Object(kids[k]);
      EXPECT_EQ((TRect{o.Left, o.Top, o.Right, o.Bottom}), c.lines[k]) << "object " << k;
    }
  }
}

TEST(DXFImport, NumbersIgnoreTheLocale) {
  // A locale whose decimal separator is a comma, built here when the system can.
  const std::string dir = vxtest::TempDir() + "/locales";
  if (!vxtest::CommandSucceeds("mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir +
                               "/de_DE.UTF-8"))
    GTEST_SKIP() << "no way to make a comma-decimal locale";
  setenv("LOCPATH", dir.c_str(), 1);
  const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (!set) {
    unsetenv("LOCPATH");
    GTEST_SKIP() << "the comma-decimal locale did not load";
  }
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  TVXVObjectStore st;
  st.SetImageSize(kW, kH);
  const std::string text =
      EntitiesWith(Join({Line("1.5", "2.75", "300.25", "4.5"), Line("1,5", "2", "3", "4")}));
  TMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
  st.ImportDXFStream(s);
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  ASSERT_EQ(st.Root().Children.size(), 1u);
  EXPECT_EQ(st.ObjRect(st.Root().Children[0]), (TRect{1, kH - 2, 300, kH - 4}));
}

TEST(DXFImport, MissingFile) {
  TVXVObjectStore st;
  EXPECT_THROW(st.ImportDXF(vxtest::TempDir() + "/none.dxf"), EFOpenError);
}

}  // namespace
