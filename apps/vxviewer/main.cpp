// vxviewer: open, view, zoom, scroll, select, process and save images.
//
//   vxviewer [IMAGE]
//   vxviewer --screenshot OUT.png [--zoom Z] [--select x1,y1,x2,y2] [--vxv FILE]
//            [--dxf FILE] [--save-vxv FILE] IMAGE
//       loads the image, then the objects of a VXV file and/or a DXF drawing fitted to
//       it, saves the objects when asked, renders the window with the objects drawn
//       (offscreen when there is no display) and saves it; the selection is in image
//       pixels, corners included
//   vxviewer --bench [SECONDS]
//       full repaints of a 1920 x 1080 view over a 6000 x 4000 image
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "viewerwindow.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vxviewer [IMAGE]\n"
               "       vxviewer --screenshot OUT.png [--zoom Z] [--select x1,y1,x2,y2]\n"
               "                [--vxv FILE] [--dxf FILE] [--save-vxv FILE] IMAGE\n"
               "       vxviewer --bench [SECONDS]\n");
  return 2;
}

int Bench(double seconds) {
  vx::TVantixView view;
  view.SetBorderStyle(vx::bsNone);
  view.resize(1920, 1080);
  view.show();
  view.Bitmap().SetSize(6000, 4000);
  for (int y = 0; y < 4000; ++y) {
    uint8_t* row = view.Bitmap().ScanLine(y);
    for (int x = 0; x < 6000; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 7 + y);
      row[3 * x + 1] = static_cast<uint8_t>(x ^ y);
      row[3 * x + 2] = static_cast<uint8_t>(y * 3);
    }
  }
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
    QElapsedTimer t;
    t.start();
    int frames = 0;
    while (t.elapsed() < seconds * 1000 || frames < 3) {
      QPainter p(&target);
      view.PaintTo(p);
      ++frames;
    }
    std::printf("%-22s %8.1f frames/s\n", c.name,
                frames * 1000.0 / static_cast<double>(std::max<qint64>(1, t.elapsed())));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string screenshot, image, select, vxv, dxf, saveVxv;
  int zoom = 0;
  bool bench = false;
  double benchSeconds = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--screenshot") {
      const char* v = next();
      if (!v) return Usage();
      screenshot = v;
    } else if (a == "--zoom") {
      const char* v = next();
      if (!v || (zoom = std::atoi(v)) <= 0) return Usage();
    } else if (a == "--select") {
      const char* v = next();
      if (!v) return Usage();
      select = v;
    } else if (a == "--vxv" || a == "--dxf" || a == "--save-vxv") {
      const char* v = next();
      if (!v) return Usage();
      (a == "--vxv" ? vxv : a == "--dxf" ? dxf : saveVxv) = v;
    } else if (a == "--bench") {
      bench = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') benchSeconds = std::atof(argv[++i]);
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      image = a;
    }
  }
  // Headless modes need no display.
  if ((bench || !screenshot.empty()) && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM") &&
      !qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (bench) return Bench(benchSeconds);

  vxviewer::TViewerWindow window;
  // Shown first: fitting a large image on open needs the window's real size.
  window.show();
  QApplication::processEvents();
  if (!screenshot.empty()) window.SetQuiet(true);
  if (!image.empty() && !window.Open(QString::fromLocal8Bit(image.c_str()))) {
    if (!screenshot.empty()) return 1;
  }
  // Objects come after the picture: a drawing is fitted to its size.
  if (!vxv.empty() && !window.LoadObjects(QString::fromLocal8Bit(vxv.c_str())) &&
      !screenshot.empty())
    return 1;
  if (!dxf.empty() && !window.ImportDXF(QString::fromLocal8Bit(dxf.c_str())) && !screenshot.empty())
    return 1;
  if (!saveVxv.empty() && !window.SaveObjects(QString::fromLocal8Bit(saveVxv.c_str()))) return 1;
  if (zoom > 0) window.View().SetZoom(zoom);
  if (!select.empty()) {
    int x1, y1, x2, y2;
    if (std::sscanf(select.c_str(), "%d,%d,%d,%d", &x1, &y1, &x2, &y2) != 4) return Usage();
    window.SelectImageRect(x1, y1, x2, y2);
  }
  if (screenshot.empty()) return app.exec();

  QApplication::processEvents();
  const QPixmap shot = window.grab();
  if (!shot.save(QString::fromStdString(screenshot), "PNG")) {
    std::fprintf(stderr, "vxviewer: cannot write %s\n", screenshot.c_str());
    return 1;
  }
  return 0;
}
