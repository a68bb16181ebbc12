#pragma once
// Helpers of the vector view tests: a shown view over a plain image, objects made from
// the template, and keys sent to a widget.
#include <QCoreApplication>
#include <QKeyEvent>
#include <memory>

#include "vect/vantixvect.h"
#include "viewtest.h"

namespace vxtest {

// A borderless vector view with a w x h client over an iw x ih image of colour.
inline std::unique_ptr<vx::TVantixVect> MakeVect(int w, int h, int iw, int ih,
                                                 vx::TColor colour = 0x336699) {
  auto v = std::make_unique<vx::TVantixVect>();
  v->SetBorderStyle(vx::bsNone);
  v->resize(w, h);
  v->show();
  v->Bitmap().SetSize(iw, ih);
  FillImage(v->Bitmap(), colour);
  v->Update();
  return v;
}

// An object of kind k over (l, t)-(r, b) with a red pen and a green brush (clear unless
// told), added to the root.
inline int32_t AddObj(vx::TVantixVect& v, vx::TVXVObjectKind k, int l, int t, int r, int b,
                      vx::TBrushStyle brush = vx::bsClear) {
  vx::TVXVObject o = v.Objects().Template();
  o.Kind = k;
  o.Left = l, o.Top = t, o.Right = r, o.Bottom = b;
  o.PenColor = 0x0000FF;
  o.BrushColor = 0x00FF00;
  o.BrushStyle = brush;
  return v.AddVObject(vx::kVXVRoot, o);
}

inline void Key(QWidget* w, int key, Qt::KeyboardModifiers m = Qt::NoModifier,
                const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, m, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, m, text);
  QCoreApplication::sendEvent(w, &release);
}

inline void Type(QWidget* w, const QString& text) {
  for (QChar c : text) Key(w, 0, Qt::NoModifier, QString(c));
}

}  // namespace vxtest
