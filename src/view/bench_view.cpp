// Repaint benchmark of the single-image view: full renderings (the cache marked
// dirty every frame) of a 1920 x 1080 client area over a 6000 x 4000 image.
// Runs offscreen; prints frames per second for each case.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "view/vantixview.h"

namespace {

void FillPattern(vx::TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 7 + y);
      row[3 * x + 1] = static_cast<uint8_t>(x ^ y);
      row[3 * x + 2] = static_cast<uint8_t>(y * 3);
    }
  }
}

double Measure(vx::TVantixView& view, QImage& target, double seconds) {
  QElapsedTimer t;
  t.start();
  int frames = 0;
  while (t.elapsed() < seconds * 1000 || frames < 3) {
    QPainter p(&target);
    view.PaintTo(p);
    ++frames;
  }
  return frames * 1000.0 / static_cast<double>(t.elapsed());
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  vx::TVantixView view;
  view.SetBorderStyle(vx::bsNone);
  view.resize(1920, 1080);
  view.show();
  view.Bitmap().SetSize(6000, 4000);
  FillPattern(view.Bitmap());
  view.Update();
  QImage target(1920, 1080, QImage::Format_RGB32);
  struct Case {
    int zoom;
    vx::TResampleFilter filter;
    const char* name;
  };
  const Case cases[] = {{33, vx::rfNone, "zoom 33, no filter"},
                        {100, vx::rfNone, "zoom 100, no filter"},
                        {250, vx::rfNone, "zoom 250, no filter"},
                        {300, vx::rfLanczos3, "zoom 300, Lanczos3"}};
  for (const Case& c : cases) {
    view.SetZoomFilter(c.filter);
    view.SetZoom(c.zoom);
    view.SetViewXY(500, 400);
    std::printf("%-22s %8.1f frames/s\n", c.name, Measure(view, target, seconds));
  }
  return 0;
}
