#pragma once
// A minimal display control for tests: owns a bitmap, records what components ask of
// it, and can report a rectangle or polygon selection.
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/bitmap.h"
#include "platform/imagehost.h"

namespace vxtest {

class TTestHost : public vx::IImageHost {
 public:
  TTestHost() : bitmap_(std::make_unique<vx::TBitmap>()) {}
  vx::TBitmap* GetFBitmap() override { return bitmap_.get(); }
  void Update() override { ++updates; }
  void ImageChange() override { ++imageChanges; }
  void SetDPI(int x, int y) override {
    dpiX = x;
    dpiY = y;
  }
  int DpiX() const override { return dpiX; }
  int DpiY() const override { return dpiY; }
  vx::TColor Background() const override { return background; }
  void SetBackground(vx::TColor c) override { background = c; }
  void RegisterBitmapChangeEvent(const vx::TNotifyEvent& h) override { handlers.push_back(h); }
  void RemoveBitmapChangeEvent(const vx::TNotifyEvent& h) override {
    handlers.erase(std::remove_if(handlers.begin(), handlers.end(),
                                  [&](const vx::TNotifyEvent& e) { return e.SameAs(h); }),
                   handlers.end());
  }
  // Client point = bitmap point * zoom / 100 - scroll: the mapping of a zoomed, scrolled
  // view, without its rounding.
  vx::TPoint ClientToBitmap(int x, int y) const override {
    return {(x + scroll.x) * 100 / zoom, (y + scroll.y) * 100 / zoom};
  }
  vx::TSelectionKind SelectionKind() const override { return selKind; }
  vx::TRect SelectionRect() const override { return selRect; }
  std::vector<vx::TPoint> SelectionPolygon() const override { return selPolygon; }
  void SelectBitmapRect(int x1, int y1, int x2, int y2) override {
    selKind = vx::skRectangle;
    selRect = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  }
  void DeSelect() override { selKind = vx::skNone; }

  // Replaces the bitmap object, as a thumbnail view does when its selection moves.
  void ReplaceBitmap() {
    bitmap_ = std::make_unique<vx::TBitmap>();
    for (const auto& h : handlers) h(nullptr);
  }

  int updates = 0;
  int imageChanges = 0;
  int dpiX = 96;
  int dpiY = 96;
  vx::TColor background = 0;
  int zoom = 100;
  vx::TPoint scroll;
  std::vector<vx::TNotifyEvent> handlers;
  vx::TSelectionKind selKind = vx::skNone;
  vx::TRect selRect;
  std::vector<vx::TPoint> selPolygon;

 private:
  std::unique_ptr<vx::TBitmap> bitmap_;
};

class TTestPicture : public vx::IPictureHost {
 public:
  vx::TBitmap* PictureBitmap() override { return &bitmap; }
  vx::TBitmap bitmap;
};

}  // namespace vxtest
