#pragma once
// The viewer's multi-image side: a strip of thumbnails beside the picture for the pages
// of a multi-page TIFF, the frames of an animated GIF or of an AVI (select one to show
// it, play them, save them all), and a folder shown as a grid of thumbnails loaded as
// they come into sight.
#include <QObject>
#include <QString>
#include <functional>

#include "multi/vantixmio.h"
#include "multi/vantixmview.h"

class QAction;
class QDockWidget;

namespace vxviewer {

class TViewerWindow;

class TMultipage : public QObject {
  Q_OBJECT
 public:
  explicit TMultipage(TViewerWindow& window);

  vx::TVantixMView& Strip() { return *strip_; }
  vx::TVantixMIO& MIO() { return mio_; }
  bool Browsing() const { return browsing_; }

  // Whether the file is a kind the picture side cannot open itself (video).
  static bool IsVideo(const QString& fileName);
  // Opens a video: its frames fill the strip and the first is shown. False (reported)
  // when nothing could be read.
  bool OpenVideo(const QString& fileName);
  // After the picture side opened a file: its pages fill the strip when it has more
  // than one; otherwise the strip goes away. A folder being browsed stays.
  void FileOpened(const QString& fileName);
  // Every page or frame into one file of the extension's kind (.tif, .gif, .avi).
  bool SaveAllPages(const QString& fileName);
  // Scans every page the source delivers (a feeder's, with these settings) into the
  // strip and shows the first; false when none arrived.
  bool AcquirePages(const vx::TVXTWainParams& settings);
  // The images of a folder as a grid of thumbnails; selecting one opens it.
  int BrowseFolder(const QString& folder);
  void SetPlaying(bool on);

 private:
  void BuildMenu();
  // Runs a load or save of the component: why it failed, or empty.
  QString Run(const std::function<void()>& operation);
  bool LoadPages(const QString& fileName);
  void ShowStrip(bool grid);
  void ShowImage(int index);
  void ImageSelected(vx::TObject* sender, int index);
  void FrameDrawn(vx::TObject* sender, int index, int left, int top, QPainter& painter);

  TViewerWindow& window_;
  QDockWidget* dock_ = nullptr;
  vx::TVantixMView* strip_ = nullptr;
  vx::TVantixMIO mio_;
  QAction* play_ = nullptr;
  QAction* saveAll_ = nullptr;
  bool browsing_ = false;
  bool openingFromGrid_ = false;
  int lastShown_ = -1;
};

}  // namespace vxviewer
