// The Qt side of the platform layer and the small widgets: clipboard, cursors,
// screen resolution, the picture control, the hint and the palette dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QScreen>
#include <QTimer>

#include "core/vxdefs.h"
#include "io/vantixio.h"
#include "platform/screen.h"
#include "platform/syscolors.h"
#include "proc/dibtransfer.h"
#include "view/image.h"
#include "view/qtplatform.h"
#include "view/vxhint.h"
#include "viewtest.h"

using namespace vx;
using namespace vxtest;

namespace {

TEST(QtPlatform, ScreenResolutionComesFromThePrimaryScreen) {
  TVantixView v;  // starts the display unit
  QScreen* s = QGuiApplication::primaryScreen();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(gSystemDPIX, qRound(s->logicalDotsPerInchX()));
  EXPECT_EQ(gSystemDPIY, qRound(s->logicalDotsPerInchY()));
  EXPECT_EQ(v.DpiX(), gSystemDPIX);
}

TColor FromQColor(const QColor& c) {
  return RGB2TColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                    static_cast<uint8_t>(c.blue()));
}

// The desktop's theme reaches the system colours, and with them the views' default
// background.
TEST(QtPlatform, SystemColoursComeFromThePalette) {
  TVantixView started;  // starts the display unit
  const QPalette pal = QApplication::palette();
  EXPECT_EQ(ColorToRGB(clBtnFace), FromQColor(pal.color(QPalette::Button)));
  EXPECT_EQ(ColorToRGB(clWindow), FromQColor(pal.color(QPalette::Base)));
  EXPECT_EQ(ColorToRGB(clWindowText), FromQColor(pal.color(QPalette::Text)));
  EXPECT_EQ(ColorToRGB(clHighlight), FromQColor(pal.color(QPalette::Highlight)));
  EXPECT_EQ(ColorToRGB(clInfoBk), FromQColor(pal.color(QPalette::ToolTipBase)));
  auto v = MakeView(20, 20, 0, 0);
  EXPECT_EQ(PixelAt(Grab(*v), 10, 10), FromQColor(pal.color(QPalette::Button)));

  // A palette applied later is followed as well.
  const QPalette saved = pal;
  QPalette dark = pal;
  dark.setColor(QPalette::Button, QColor(30, 40, 50));
  QApplication::setPalette(dark);
  QCoreApplication::processEvents();
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB2TColor(30, 40, 50));
  QApplication::setPalette(saved);
  QCoreApplication::processEvents();
  EXPECT_EQ(ColorToRGB(clBtnFace), FromQColor(saved.color(QPalette::Button)));
}

TEST(QtPlatform, ClipboardExchangesDibsWithOtherPrograms) {
  TVantixView v;  // installs the system clipboard
  TBitmap b;
  b.SetSize(5, 3);
  FillImage(b, 0x0000FF);
  b.Canvas().SetPixel(4, 2, 0x00FF00);
  Clipboard().SetDIB(CopyBitmaptoDIB(b));
  // Another program sees a BMP and an image.
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->hasFormat("image/bmp"));
  const QImage seen = qvariant_cast<QImage>(m->imageData());
  ASSERT_EQ(seen.size(), QSize(5, 3));
  EXPECT_EQ(seen.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(seen.pixel(4, 2), qRgb(0, 255, 0));
  // And we read back what we wrote.
  TBitmap back;
  ASSERT_EQ(CopyDIB2Bitmap(Clipboard().GetDIB(), back), 24);
  EXPECT_EQ(back.Canvas().Pixel(4, 2), 0x00FF00);

  // An image put there by someone else arrives as a DIB.
  QImage other(4, 2, QImage::Format_ARGB32);
  other.fill(qRgb(10, 20, 30));
  other.setPixel(3, 1, qRgb(200, 100, 50));
  QGuiApplication::clipboard()->setImage(other);
  ASSERT_TRUE(Clipboard().HasDIB());
  ASSERT_EQ(CopyDIB2Bitmap(Clipboard().GetDIB(), back), 24);
  ASSERT_EQ(back.Width(), 4);
  EXPECT_EQ(back.Canvas().Pixel(0, 0), RGB2TColor(10, 20, 30));
  EXPECT_EQ(back.Canvas().Pixel(3, 1), RGB2TColor(200, 100, 50));

  Clipboard().Clear();
  EXPECT_FALSE(Clipboard().HasDIB());
  EXPECT_TRUE(Clipboard().GetDIB().empty());
  Clipboard().SetDIB({1, 2, 3});  // not a DIB: ignored
  EXPECT_FALSE(Clipboard().HasDIB());
}

// A BMP file may leave a gap between the colour table and the rows; the file header's
// pixel offset, not the table's end, says where they start.
TEST(QtPlatform, ClipboardBmpHonoursThePixelOffset) {
  TVantixView v;  // installs the system clipboard
  TBitmap b;
  b.SetSize(3, 2);
  FillImage(b, RGB2TColor(10, 20, 30));
  b.Canvas().SetPixel(2, 0, RGB2TColor(200, 100, 50));
  const std::vector<uint8_t> dib = CopyBitmaptoDIB(b);
  ASSERT_EQ(dib[0], 40);
  for (const int gap : {0, 16}) {
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    const int offBits = 14 + 40 + gap;
    for (int i = 0; i < 4; ++i) file[10 + i] = static_cast<char>((offBits >> (8 * i)) & 0xFF);
    file.append(reinterpret_cast<const char*>(dib.data()), 40);
    file.append(QByteArray(gap, '\x7F'));
    file.append(reinterpret_cast<const char*>(dib.data()) + 40, static_cast<int>(dib.size()) - 40);
    auto* mime = new QMimeData;
    mime->setData("image/bmp", file);
    QGuiApplication::clipboard()->setMimeData(mime);
    TBitmap back;
    ASSERT_EQ(CopyDIB2Bitmap(Clipboard().GetDIB(), back), 24) << gap;
    ASSERT_EQ(back.Width(), 3);
    EXPECT_EQ(back.Canvas().Pixel(0, 0), RGB2TColor(10, 20, 30)) << gap;
    EXPECT_EQ(back.Canvas().Pixel(2, 0), RGB2TColor(200, 100, 50)) << gap;
    EXPECT_EQ(back.Canvas().Pixel(1, 1), RGB2TColor(10, 20, 30)) << gap;
  }
  Clipboard().Clear();
}

TEST(QtPlatform, ThirteenCursorsWithSensibleHotSpots) {
  TVantixView v;
  for (int id = 1778; id <= 1790; ++id) {
    const QCursor c = VXCursor(id);
    EXPECT_EQ(c.shape(), Qt::BitmapCursor) << id;
    EXPECT_FALSE(c.pixmap().isNull()) << id;
  }
  EXPECT_EQ(VXCursor(crCross2).hotSpot(), QPoint(15, 15));
  EXPECT_EQ(VXCursor(crPen).hotSpot(), QPoint(1, 30));
  EXPECT_EQ(VXCursor(12345).shape(), Qt::ArrowCursor);
  EXPECT_EQ(v.Cursor(), crCross2);
}

TEST(PictureControl, RepaintsWhenTheBitmapIsMarkedModified) {
  TImage image;
  image.resize(20, 20);
  image.show();
  TVantixIO io;
  io.SetAttachedTImage(&image);
  ASSERT_EQ(io.Bitmap(), image.PictureBitmap());
  image.Bitmap().SetSize(10, 10);
  FillImage(image.Bitmap(), 0x0000FF);
  const int before = image.ChangeCount();
  io.Update();  // marks the bitmap modified
  EXPECT_EQ(image.ChangeCount(), before + 1);
  const QImage shot = image.grab().toImage();
  EXPECT_EQ(shot.pixel(5, 5), qRgb(255, 0, 0));
}

TEST(PictureControl, ShowsBitmapsOfOtherPixelFormats) {
  TImage image;
  image.resize(20, 20);
  image.show();
  image.Bitmap().SetPixelFormat(pf32bit);
  image.Bitmap().SetSize(10, 10);
  FillImage(image.Bitmap(), 0x0000FF);
  const QImage shot = image.grab().toImage();
  EXPECT_EQ(shot.pixel(5, 5), qRgb(255, 0, 0));
}

TEST(PictureControl, DestroyedPictureLeavesIODetached) {
  TVantixIO io;
  {
    TImage image;
    io.SetAttachedTImage(&image);
  }
  EXPECT_EQ(io.AttachedTImage(), nullptr);
  EXPECT_EQ(io.Bitmap(), nullptr);
}

TEST(HintWindow, SizesToTheTextAndPaintsIt) {
  TVXHint hint;
  EXPECT_FALSE(hint.isVisible());
  hint.SetText("12.5 mm");
  const QFontMetrics fm(hint.font());
  EXPECT_EQ(hint.width(), fm.horizontalAdvance("12.5 mm") + 4);
  EXPECT_EQ(hint.height(), fm.height() + 4);
  const QImage shot = hint.grab().toImage();
  EXPECT_EQ(shot.pixel(hint.width() - 2, hint.height() - 2), qRgb(0xFF, 0xFF, 0xE0));
  EXPECT_TRUE(hint.testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(PaletteDialog, CellsAndChoice) {
  TVantixPaletteDialog dlg;
  EXPECT_EQ(dlg.size(), QSize(539, 199));
  std::vector<TRGB> pal(40);
  pal[33] = CreateRGB(1, 2, 3);
  dlg.SetPalette(pal);
  EXPECT_EQ(dlg.CellAt(1, 1), 0);
  EXPECT_EQ(dlg.CellAt(16, 16), 0);
  EXPECT_EQ(dlg.CellAt(17, 1), 1);
  EXPECT_EQ(dlg.CellAt(17, 17), 33);
  EXPECT_EQ(dlg.CellAt(200, 17), -1);  // past the last entry
  EXPECT_EQ(dlg.CellAt(0, 5), -1);
  QTimer::singleShot(0, &dlg, [&] {
    Move(&dlg, 20, 20, Qt::NoButton);
    Press(&dlg, 20, 20);
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.Color(), RGB2TColor(1, 2, 3));
  QTimer::singleShot(0, &dlg, [&] { dlg.reject(); });
  EXPECT_FALSE(dlg.Execute());
}

}  // namespace
