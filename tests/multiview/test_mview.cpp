// The thumbnail view: layout, the list and its selection rules, use counts, painting,
// keys and mouse, loading on demand and playing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <string>
#include <vector>

#include "mviewtest.h"
#include "testsupport.h"

using namespace vx;
using vxtest::MakeMView;
using vxtest::PatternBitmap;
using vxtest::PixelOf;
using vxtest::Render;
using vxtest::SolidBitmap;

namespace {

// Fills a view with n images, each tagged by its file-name field so that moves can be
// followed (the names point nowhere: the images are given as bitmaps).
void AddTagged(TVantixMView& v, int n) {
  for (int i = 0; i < n; ++i) {
    const int at = v.AppendImage();
    v.SetImage(at, SolidBitmap(10, 10, 0x000010 * static_cast<TColor>(i + 1)));
  }
}

std::vector<TColor> StoredColours(TVantixMView& v) {
  std::vector<TColor> out;
  for (int i = 0; i < v.ImageCount(); ++i) {
    TBitmap* b = v.GetBitmap(i);
    out.push_back(b ? static_cast<TColor>(b->ScanLine(0)[2]) : -1);
    v.ReleaseBitmap(i);
  }
  return out;
}

}  // namespace

TEST(MViewLayout, GridFitsColumnsAndSingleRowGrows) {
  auto v = MakeMView(312, 400);
  ASSERT_EQ(v->ClientWidth(), 312);
  v->SetGridWidth(-1);
  AddTagged(*v, 5);
  // (312 - 4) div 104 = 2 columns.
  EXPECT_EQ(v->ImageX(1), 108);
  EXPECT_EQ(v->ImageX(2), 4);
  EXPECT_EQ(v->ImageY(2), 108);
  EXPECT_EQ(v->ImageRow(4), 2);
  EXPECT_EQ(v->ImageCol(4), 0);
  EXPECT_EQ(v->CanvasHeight(), 4 + 3 * 104);

  v->SetGridWidth(0);
  for (int n : {5, 6}) {
    if (v->ImageCount() < n) AddTagged(*v, 1);
    EXPECT_EQ(v->CanvasWidth(), 4 + n * 104);
    EXPECT_EQ(v->ImageY(n - 1), 4);
  }
  // mdSingle puts every image in the first cell.
  v->SetDisplayMode(mdSingle);
  EXPECT_EQ(v->ImageX(5), 4);
  EXPECT_EQ(v->CanvasWidth(), 108);

  auto empty = MakeMView(200, 200);
  EXPECT_EQ(empty->CanvasWidth(), 104);
  EXPECT_EQ(empty->CanvasHeight(), 104);
}

TEST(MViewList, InsertSelectsAndDeleteKeepsTheSelectedImage) {
  auto v = MakeMView(300, 120);
  AddTagged(*v, 4);  // colours 0x10, 0x20, 0x30, 0x40 in red
  EXPECT_EQ(v->SelectedImage(), 3);
  EXPECT_EQ(v->GetLastOp(), 1);
  EXPECT_EQ(v->GetLastOp(), 0);  // reading resets it
  EXPECT_EQ(v->GetLastOpIdx(), 3);

  v->SetSelectedImage(2);  // 0x30
  v->DeleteImage(0);       // a lower image: same image, new index
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(v->GetFBitmap()->ScanLine(0)[2], 0x30);
  EXPECT_EQ(v->GetLastOp(), 2);
  EXPECT_EQ(v->GetLastOpIdx(), 0);

  v->DeleteImage(2);  // a higher image: unchanged
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(v->GetFBitmap()->ScanLine(0)[2], 0x30);

  v->DeleteImage(1);  // the selected, last image: the new last one
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(v->GetFBitmap()->ScanLine(0)[2], 0x20);
  EXPECT_EQ(v->UseCount(0), 1);

  v->DeleteImage(5);  // out of range
  EXPECT_EQ(v->ImageCount(), 1);
  v->DeleteImage(0);
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_EQ(v->GetFBitmap(), nullptr);

  // Inserting in front moves the selection with its image.
  AddTagged(*v, 3);
  v->SetSelectedImage(1);
  v->InsertImage(0);
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(StoredColours(*v), (std::vector<TColor>{-1, 0x10, 0x20, 0x30}));
  EXPECT_EQ(v->UseCount(2), 0);  // the old selection was released
}

TEST(MViewList, UseCountsHoldTheImageExpandedUntilTheLastRelease) {
  auto v = MakeMView(300, 120);
  AddTagged(*v, 2);
  v->Deselect();
  ASSERT_NE(v->GetBitmapInfo(0), nullptr);
  TBitmap* a = v->GetBitmap(0);
  TBitmap* b = v->GetBitmap(0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  a->ScanLine(0)[0] = 0x77;  // changes made while in use are kept
  v->ReleaseBitmap(0);
  EXPECT_EQ(v->UseCount(0), 1);
  EXPECT_EQ(v->GetBitmapInfo(0), nullptr);  // still expanded
  v->ReleaseBitmap(0);
  v->ReleaseBitmap(0);  // never below 0
  EXPECT_EQ(v->UseCount(0), 0);
  ASSERT_NE(v->GetBitmapInfo(0), nullptr);
  TBitmap* again = v->GetBitmap(0);
  EXPECT_EQ(again->ScanLine(0)[0], 0x77);
  v->ReleaseBitmap(0);
  // An empty entry gives nothing and keeps no count.
  v->InsertImage(0);
  v->Deselect();
  EXPECT_EQ(v->GetBitmap(0), nullptr);
  EXPECT_EQ(v->UseCount(0), 0);
  // Out of range: defaults.
  EXPECT_EQ(v->ImageID(9), -1);
  EXPECT_EQ(v->ImageWidth(9), 0);
  EXPECT_EQ(v->GetBitmap(-1), nullptr);
}

TEST(MViewList, SettingTheSelectedImageReplacesThePixelsOfTheCurrentBitmap) {
  auto v = MakeMView(300, 120);
  const int i = v->AppendImage();
  EXPECT_EQ(v->GetFBitmap(), nullptr);  // nothing stored yet
  v->SetImage(i, SolidBitmap(8, 4, 0x0000FF));
  TBitmap* current = v->GetFBitmap();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->Width(), 8);
  v->SetImage(i, SolidBitmap(3, 5, 0x00FF00));
  EXPECT_EQ(v->GetFBitmap(), current);  // the same object, new pixels
  EXPECT_EQ(current->Width(), 3);
  EXPECT_EQ(current->ScanLine(0)[1], 0xFF);
  EXPECT_EQ(v->UseCount(i), 1);
  v->SetImageRect(i, PatternBitmap(20, 20, 1), 5, 6, 100, 100);  // clipped to the bitmap
  EXPECT_EQ(v->ImageWidth(i), 15);
  EXPECT_EQ(v->ImageHeight(i), 14);
  EXPECT_EQ(current->ScanLine(0)[0], PatternBitmap(20, 20, 1).ScanLine(6)[15]);
}

TEST(MViewPaint, ImageIsFittedAndCentredInItsCell) {
  auto v = MakeMView(220, 110);
  v->SetHorizBorder(0);
  v->SetVertBorder(0);
  v->SetBackground(0x00FF00);
  v->SetVisibleSelection(false);
  const int i = v->AppendImage();
  v->SetImageBackground(i, 0xFF0000);
  v->SetImage(i, SolidBitmap(200, 100, 0x0000FF));
  const QImage img = Render(*v);
  EXPECT_EQ(PixelOf(img, 50, 24), 0xFF0000);  // entry background above
  EXPECT_EQ(PixelOf(img, 0, 25), 0x0000FF);   // image from y = 25
  EXPECT_EQ(PixelOf(img, 99, 74), 0x0000FF);
  EXPECT_EQ(PixelOf(img, 50, 75), 0xFF0000);   // and 50 rows high
  EXPECT_EQ(PixelOf(img, 100, 50), 0x00FF00);  // view background outside the cell
  EXPECT_EQ(PixelOf(img, 50, 105), 0x00FF00);

  // Gaps shrink the space the image is fitted into.
  v->SetUpperGap(20);
  v->SetBottomGap(10);
  const QImage gapped = Render(*v);  // a = 70: 100 x 50 at y = 20 + 10
  EXPECT_EQ(PixelOf(gapped, 50, 29), 0xFF0000);
  EXPECT_EQ(PixelOf(gapped, 50, 30), 0x0000FF);
  EXPECT_EQ(PixelOf(gapped, 50, 79), 0x0000FF);
  EXPECT_EQ(PixelOf(gapped, 50, 80), 0xFF0000);

  // The selection frame lies around the cell (one line without the focus).
  v->SetVisibleSelection(true);
  v->SetHorizBorder(4);
  v->SetVertBorder(4);
  const QImage framed = Render(*v);
  EXPECT_EQ(PixelOf(framed, 3, 50), 0x0000FF);  // SelectionColor red = 0x0000FF
  EXPECT_EQ(PixelOf(framed, 104, 50), 0x0000FF);
  EXPECT_EQ(PixelOf(framed, 2, 50), 0x00FF00);
}

TEST(MViewPaint, ThumbStoreKeepsOnlyAHalftoneThumbnail) {
  auto v = MakeMView(220, 110);
  v->SetStoreType(vxtThumb);
  v->SetThumbWidth(50);
  v->SetThumbHeight(50);
  // Alternating black and white columns average to grey.
  TBitmap stripes = SolidBitmap(400, 200, 0);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 400; x += 2) std::fill_n(stripes.ScanLine(y) + 3 * x, 3, 0xFF);
  const int i = v->AppendImage();
  v->SetImage(i, stripes);
  EXPECT_EQ(v->ImageWidth(i), 50);
  EXPECT_EQ(v->ImageHeight(i), 25);
  const int px = v->GetFBitmap()->ScanLine(10)[30];
  EXPECT_NEAR(px, 128, 2);
}

TEST(MViewInput, KeysSeekThroughTheGridAndScrollItIntoView) {
  auto v = MakeMView(216, 112);  // two columns, one row visible
  v->SetGridWidth(-1);
  AddTagged(*v, 7);
  v->SetSelectedImage(0);
  v->show();
  QTest::keyClick(v.get(), Qt::Key_Right);
  EXPECT_EQ(v->SelectedImage(), 1);
  QTest::keyClick(v.get(), Qt::Key_Down);
  EXPECT_EQ(v->SelectedImage(), 3);
  EXPECT_EQ(v->ImageVisibility(3), 2);
  EXPECT_EQ(v->ViewY(), 100);  // Y + ThumbHeight + VertBorder - ClientHeight
  QTest::keyClick(v.get(), Qt::Key_End);
  EXPECT_EQ(v->SelectedImage(), 6);
  EXPECT_EQ(v->ImageVisibility(6), 2);
  QTest::keyClick(v.get(), Qt::Key_Up);
  EXPECT_EQ(v->SelectedImage(), 4);
  QTest::keyClick(v.get(), Qt::Key_Home);
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(v->ViewY(), 0);
  QTest::keyClick(v.get(), Qt::Key_Left);  // -1 is ignored: the selection stays
  EXPECT_EQ(v->SelectedImage(), 0);
  QTest::keyClick(v.get(), Qt::Key_PageDown);  // 2 columns x 1 row a page
  EXPECT_EQ(v->SelectedImage(), 2);
}

TEST(MViewInput, ClickSelectsAndDragScrolls) {
  auto v = MakeMView(216, 112);
  v->SetMouseInteract({mmiSelect, mmiScroll});
  AddTagged(*v, 6);
  v->SetSelectedImage(0);
  v->show();
  std::vector<int> selected;
  v->OnImageSelect = [&](TObject*, int idx) { selected.push_back(idx); };
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, QPoint(150, 50));
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(selected, (std::vector<int>{1}));
  EXPECT_EQ(v->ImageAtPos(2, 50), -1);  // the border
  // Dragging left by 100 pixels scrolls the row right.
  QTest::mousePress(v->viewport(), Qt::LeftButton, {}, QPoint(150, 50));
  QTest::mouseMove(v->viewport(), QPoint(50, 50));
  EXPECT_EQ(v->ViewX(), 100);
  QTest::mouseRelease(v->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_EQ(v->ViewX(), 100);
  EXPECT_EQ(v->SelectedImage(), 1);  // (50 + 100) falls in image 1 again
}

TEST(MViewOnDemand, IDsAndFilesAreLoadedWhenNeededAndDroppedOutOfSight) {
  auto v = MakeMView(216, 112);
  v->SetStoreType(vxtThumb);
  std::vector<int> asked;
  TBitmap given = SolidBitmap(40, 20, 0x123456);
  v->OnImageIDRequest = [&](TObject*, int id, TBitmap*& bmp) {
    asked.push_back(id);
    bmp = &given;
  };
  const std::string jpeg = vxtest::CorpusPath("jpeg/testorig.jpg");
  for (int i = 0; i < 6; ++i) {
    const int at = v->AppendImage();
    if (i % 2 == 0)
      v->SetImageID(at, 100 + i);
    else
      v->SetImageFileName(at, jpeg);
  }
  v->Deselect();
  EXPECT_TRUE(asked.empty());  // nothing loaded before it is needed
  Render(*v);
  EXPECT_EQ(asked, (std::vector<int>{100, 102}));  // only the cells in sight
  EXPECT_TRUE(v->ImageHeld(1));
  EXPECT_TRUE(v->ImageHeld(2));
  EXPECT_FALSE(v->ImageHeld(3));
  // The JPEG came at reduced size and was stored as a thumbnail.
  EXPECT_EQ(v->ImageWidth(1), 100);
  EXPECT_LE(v->ImageHeight(1), 100);
  EXPECT_EQ(v->ImageID(1), -1);
  EXPECT_EQ(v->ImageFileName(1), jpeg);

  v->SetViewX(v->CanvasWidth());
  Render(*v);
  EXPECT_FALSE(v->ImageHeld(0));  // reloadable and out of sight: dropped
  EXPECT_FALSE(v->ImageHeld(1));
  EXPECT_TRUE(v->ImageHeld(5));
  // A bitmap given directly is never dropped.
  const int direct = v->AppendImage();
  v->SetImage(direct, given);
  v->Deselect();
  v->SetViewX(0);
  Render(*v);
  EXPECT_TRUE(v->ImageHeld(direct));

  // A file that cannot be opened leaves the image empty.
  const int missing = v->AppendImage();
  v->SetImageFileName(missing, "/nonexistent/none.jpg");
  EXPECT_EQ(v->GetBitmap(missing), nullptr);
}

TEST(MViewPlay, ThreeFramesWithoutLoopShowOnceThenStop) {
  auto v = MakeMView(216, 112);
  AddTagged(*v, 3);
  v->SetSelectedImage(1);
  for (int i = 0; i < 3; ++i) v->SetImageDelayTime(i, 5);
  v->show();
  QTest::qWait(20);  // the first paint of the grid
  std::vector<int> drawn;
  v->OnImageDraw = [&](TObject*, int idx, int, int, QPainter&) {
    if (drawn.empty() || drawn.back() != idx) drawn.push_back(idx);  // repaints of one frame
  };
  v->PlayLoop = false;
  v->SetPlaying(true);
  EXPECT_TRUE(v->Playing());
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_EQ(v->DisplayMode(), mdGrid);  // the mode to come back to
  // While playing, selecting, keys and clicks do nothing.
  v->SetSelectedImage(2);
  QTest::keyClick(v.get(), Qt::Key_Right);
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_EQ(v->SelectedImage(), -1);

  QElapsedTimer t;
  t.start();
  while (v->Playing() && t.elapsed() < 3000) QTest::qWait(5);
  EXPECT_FALSE(v->Playing());
  // Frames shown in order (later repaints of the restored grid may follow).
  ASSERT_GE(drawn.size(), 3u);
  EXPECT_EQ(std::vector<int>(drawn.begin(), drawn.begin() + 3), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(v->SelectedImage(), 1);  // selection and mode come back
  EXPECT_EQ(v->DisplayMode(), mdGrid);
  EXPECT_EQ(v->VisibleFrame(), 0);
}

TEST(MViewPlay, LoopingKeepsGoingUntilStopped) {
  auto v = MakeMView(216, 112);
  AddTagged(*v, 2);
  v->show();
  int frames = 0;
  v->OnImageDraw = [&](TObject*, int, int, int, QPainter&) { ++frames; };
  v->SetPlaying(true);
  QTest::qWait(200);
  EXPECT_TRUE(v->Playing());
  EXPECT_GT(frames, 4);  // round and round at 10 ms a frame
  v->DeleteImage(0);     // editing the list stops playing
  EXPECT_FALSE(v->Playing());
}
