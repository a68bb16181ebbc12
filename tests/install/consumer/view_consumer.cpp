// Widget user of vxcontrols: a TVantixView on Qt's offscreen platform shows the BMP the
// test wrote, loaded through TVantixIO attached to the view, and renders it.
//   view_consumer IN.bmp
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>

#include "io/vantixio.h"
#include "sample.h"
#include "view/vantixview.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: view_consumer IN.bmp\n");
    return 2;
  }
  QApplication app(argc, argv);
  vx::TVantixView view;
  view.SetBorderStyle(vx::bsNone);
  view.resize(64, 48);
  view.show();

  vx::TVantixIO io;
  io.SetAttachedVantix(&view);
  io.LoadFromFile(argv[1]);
  if (io.Aborting()) {
    std::fprintf(stderr, "view_consumer: loading failed: %s\n", io.LastError().c_str());
    return 1;
  }
  if (view.Bitmap().Width() != sample::kWidth || view.Bitmap().Height() != sample::kHeight) {
    std::fprintf(stderr, "view_consumer: the view holds %dx%d\n", view.Bitmap().Width(),
                 view.Bitmap().Height());
    return 1;
  }
  // At zoom 100 the image sits at the top left of the viewport: its first pixel shows.
  const QImage shot = view.viewport()->grab().toImage();
  const QRgb first = shot.pixel(0, 0);
  if (qRed(first) != sample::Red(0, 0) || qGreen(first) != sample::Green(0, 0) ||
      qBlue(first) != sample::Blue(0, 0)) {
    std::fprintf(stderr, "view_consumer: the view shows %d,%d,%d at 0,0\n", qRed(first),
                 qGreen(first), qBlue(first));
    return 1;
  }
  return 0;
}
