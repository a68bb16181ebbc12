// Editing in the vector view: placing objects by dragging, selecting them by click and
// rubber band, grip drags, the inline text editor, keys, and the measuring hints. The
// view's own mouse handling (selections, zoom, scroll) runs first on every event.
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

#include "core/arith.h"
#include "core/vxutils.h"
#include "vect/vantixvect.h"
#include "vect/vxvmeasure.h"

namespace vx {

namespace {

// A frameless one-line editor: Enter and Escape end editing, and never reach the
// window's shortcuts first.
class TVXInlineEdit : public QLineEdit {
 public:
  TVXInlineEdit(QWidget* parent, std::function<void()> enter, std::function<void()> escape)
      : QLineEdit(parent), enter_(std::move(enter)), escape_(std::move(escape)) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::ShortcutOverride && IsOurs(static_cast<QKeyEvent*>(e))) {
      e->accept();
      return true;
    }
    return QLineEdit::event(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      e->accept();
      return enter_();
    }
    if (e->key() == Qt::Key_Escape) {
      e->accept();
      return escape_();
    }
    QLineEdit::keyPressEvent(e);
  }

 private:
  static bool IsOurs(const QKeyEvent* e) {
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape;
  }
  std::function<void()> enter_, escape_;
};

int32_t SatAdd(int32_t a, int64_t b) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN, INT32_MAX));
}

// The kind a placing item inserts (0: none).
int KindToInsert(TVXMouseInteractVt vt) {
  if (vt.Contains(miPutLine) || vt.Contains(miDragLen)) return static_cast<int>(vxkLINE);
  if (vt.Contains(miPutBox)) return static_cast<int>(vxkBOX);
  if (vt.Contains(miPutEllipse)) return static_cast<int>(vxkELLIPSE);
  if (vt.Contains(miPutBitmap)) return static_cast<int>(vxkBITMAP);
  if (vt.Contains(miPutText)) return static_cast<int>(vxkTEXT);
  return 0;
}

}  // namespace

// ============================== interaction sets ==============================

void TVantixVect::SetMouseInteractVt(TVXMouseInteractVt m) {
  CancelInteracts();
  if (m == mouseInteractVt_) return;
  static constexpr TVXMouseInteractVtItems kOrder[] = {miArea,    miLineLen,      miPutLine,
                                                       miPutBox,  miPutEllipse,   miPutBitmap,
                                                       miPutText, miObjectSelect, miDragLen};
  const TVXMouseInteractVt added = m - mouseInteractVt_;
  bool showNow = false;
  for (TVXMouseInteractVtItems item : kOrder) {
    if (!added.Contains(item)) continue;
    m = {item};
    if (item == miArea || item == miLineLen)
      showNow = true;
    else
      TVantixView::SetMouseInteract({});  // placing and picking objects own the mouse
    break;
  }
  mouseInteractVt_ = m;
  if (showNow) {
    const QPoint at = viewport()->mapFromGlobal(QCursor::pos());
    lastMouse_ = {at.x(), at.y()};
    ShowMeasureHints(at);
  }
  if (!m.Contains(miArea) && !m.Contains(miLineLen)) hint_->hide();
  viewport()->update();
}

void TVantixVect::SetMouseInteract(TVXMouseInteract m) {
  TVantixView::SetMouseInteract(m);
  // Measuring goes with the view's selection modes; placing and picking objects do not.
  mouseInteractVt_ = mouseInteractVt_ - TVXMouseInteractVt{miPutLine,   miPutBox,  miPutEllipse,
                                                           miPutBitmap, miPutText, miObjectSelect};
  CancelInteracts();
}

void TVantixVect::CancelInteracts() {
  insertKind_ = 0;
  dragGrip_ = kGripNone;
  const bool editing = editedText_ >= 0;
  CloseTextEditor();
  if (editing) {
    editedText_ = -1;
    Update();
  }
}

// ============================== mouse ==============================

QPoint TVantixVect::ClampToImage(QPoint p) const {
  return {std::max(OffsetX(), std::min(OffsetX() + ExtentX() - 1, p.x())),
          std::max(OffsetY(), std::min(OffsetY() + ExtentY() - 1, p.y()))};
}

void TVantixVect::mousePressEvent(QMouseEvent* event) {
  TVantixView::mousePressEvent(event);
  VectMouseDown(event, false);
}

void TVantixVect::mouseDoubleClickEvent(QMouseEvent* event) {
  TVantixView::mouseDoubleClickEvent(event);
  VectMouseDown(event, true);
}

void TVantixVect::mouseMoveEvent(QMouseEvent* event) {
  const int vx = ViewX(), vy = ViewY();
  TVantixView::mouseMoveEvent(event);
  // The view's own drags scroll it too: our drag's start moves with the picture.
  if (leftDown_ && (vx != ViewX() || vy != ViewY())) {
    downPoint_.x += vx - ViewX();
    downPoint_.y += vy - ViewY();
  }
  VectMouseMove(event);
}

void TVantixVect::mouseReleaseEvent(QMouseEvent* event) {
  TVantixView::mouseReleaseEvent(event);
  VectMouseUp(event);
}

void TVantixVect::VectMouseDown(QMouseEvent* e, bool doubleClick) {
  CloseTextEditor();
  editedText_ = -1;
  if (e->button() != Qt::LeftButton) return;
  leftDown_ = true;
  gripMoved_ = false;
  gripApplied_ = {0, 0};
  const QPoint c = ClampToImage(e->position().toPoint());
  downPoint_ = currentPoint_ = lastMouse_ = {c.x(), c.y()};
  insertKind_ = KindToInsert(mouseInteractVt_);
  dragGrip_ = kGripNone;
  if (!mouseInteractVt_.Contains(miObjectSelect)) return;
  if (!doubleClick) {
    dragGrip_ = FindSelGrip(c.x(), c.y());
    return;
  }
  // A double click inside a text object edits it.
  const int bx = XScr2Bmp(c.x()), by = YScr2Bmp(c.y());
  const int32_t i = FindNearObj(kVXVRoot, bx, by);
  if (i == kVXVRoot || store_.ObjKind(i) != vxkTEXT || store_.CalcDistPtObj(i, bx, by) != 0) return;
  selObjects_ = {i};
  FireSelect();
  OpenTextEditor(i);
  Update();
}

void TVantixVect::AutoScroll(QPoint raw) {
  // While the view drags a selection of its own, it scrolls for both of us.
  if (RectDragging() || CircleDragging() || ResizeGrip() >= 0 || MoveGrip() >= 0) return;
  int ex = 0, ey = 0;
  if (raw.x() < OffsetX())
    ex = raw.x() - OffsetX();
  else if (raw.x() > OffsetX() + ExtentX() - 1)
    ex = raw.x() - (OffsetX() + ExtentX() - 1);
  if (raw.y() < OffsetY())
    ey = raw.y() - OffsetY();
  else if (raw.y() > OffsetY() + ExtentY() - 1)
    ey = raw.y() - (OffsetY() + ExtentY() - 1);
  if (ex == 0 && ey == 0) return;
  const int ox = ViewX(), oy = ViewY();
  SetViewXY(ViewX() + ex, ViewY() + ey);
  downPoint_.x += ox - ViewX();
  downPoint_.y += oy - ViewY();
}

void TVantixVect::VectMouseMove(QMouseEvent* e) {
  const QPoint raw = e->position().toPoint();
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const bool held = leftDown_ && (e->buttons() & Qt::LeftButton);
  bool dragging = false;
  if (held && insertKind_ != 0) {
    AutoScroll(raw);
    InsertStep(ClampToImage(raw), ctrl);
    dragging = true;
  } else if (held && mouseInteractVt_.Contains(miObjectSelect) && editedText_ < 0) {
    AutoScroll(raw);
    if (dragGrip_ != kGripNone)
      DragGripStep(ClampToImage(raw));
    else
      RubberBandStep();
    dragging = true;
  }
  QPoint c = ClampToImage(raw);
  // Where the view's rubber band ends while a polygon is drawn (Ctrl snaps it).
  if (!held && ctrl && PolygonDrawing() && PolySelCount() > 0) {
    const TPoint& last = PolySelPoints().back();
    int x = c.x(), y = c.y();
    CastPolySelCC(XBmp2Scr(last.x), YBmp2Scr(last.y), x, y);
    c = QPoint(x, y);
  }
  lastMouse_ = {c.x(), c.y()};
  if (dragging && insertKind_ == 0) RubberBandStep();
  ShowMeasureHints(c);
  KeepScrolling(e, dragging && raw != ClampToImage(raw));
}

void TVantixVect::KeepScrolling(QMouseEvent* e, bool outside) {
  if (!outside) {
    if (scrollTimer_) scrollTimer_->stop();
    return;
  }
  // The mouse held outside the image keeps the drag scrolling.
  if (!scrollTimer_) {
    scrollTimer_ = new QTimer(this);
    scrollTimer_->setInterval(30);
    connect(scrollTimer_, &QTimer::timeout, this, [this] {
      if (!leftDown_) return scrollTimer_->stop();
      QMouseEvent again(QEvent::MouseMove, scrollRaw_, viewport()->mapToGlobal(scrollRaw_),
                        Qt::NoButton, scrollButtons_, scrollModifiers_);
      VectMouseMove(&again);
    });
  }
  scrollRaw_ = e->position().toPoint();
  scrollButtons_ = e->buttons();
  scrollModifiers_ = e->modifiers();
  if (!scrollTimer_->isActive()) scrollTimer_->start();
}

void TVantixVect::InsertStep(QPoint c, bool ctrl) {
  int x = c.x(), y = c.y();
  switch (static_cast<TVXVObjectKind>(insertKind_)) {
    case vxkLINE:
      if (ctrl) CastPolySelCC(downPoint_.x, downPoint_.y, x, y);
      currentPoint_ = {x, y};
      if (mouseInteractVt_.Contains(miDragLen)) {
        const double len = DragLength(currentPoint_.x - downPoint_.x,
                                      currentPoint_.y - downPoint_.y, Zoom(), CoefX(), CoefY());
        ShowHint(store_.MeasureText(len, false), QPoint(OffsetX(), OffsetY()), false);
      }
      break;
    case vxkELLIPSE:
      if (ctrl) {
        // A circle: the larger offset on both axes, along the diagonal.
        const int o = std::abs(y - downPoint_.y) < std::abs(x - downPoint_.x) ? x - downPoint_.x
                                                                              : y - downPoint_.y;
        currentPoint_ = {downPoint_.x + o, downPoint_.y + o};
      } else {
        currentPoint_ = {x, y};
      }
      break;
    default:
      currentPoint_ = {x, y};
      break;
  }
  viewport()->update();  // the preview is drawn over the cached rendering
}

void TVantixVect::DragGripStep(QPoint c) {
  // The whole drag is converted at once and only its increase applied, so slow moves
  // at high zooms add up instead of rounding to nothing step by step.
  const extended k = 100.0L / Zoom();
  const TPoint total{RoundI(k * (int64_t{c.x()} - downPoint_.x)),
                     RoundI(k * (int64_t{c.y()} - downPoint_.y))};
  const int64_t dx = int64_t{total.x} - gripApplied_.x, dy = int64_t{total.y} - gripApplied_.y;
  currentPoint_ = {c.x(), c.y()};
  if (dx == 0 && dy == 0) return;
  gripApplied_ = total;
  gripMoved_ = true;
  for (int32_t i : selObjects_) {
    TVXVObject* o = store_.Object(i);
    if (!o) continue;
    if (o->Style.Contains(vxvsSizeable)) {
      switch (dragGrip_) {
        case kGripTopLeft:
          o->Left = SatAdd(o->Left, dx), o->Top = SatAdd(o->Top, dy);
          break;
        case kGripBottomRight:
          o->Right = SatAdd(o->Right, dx), o->Bottom = SatAdd(o->Bottom, dy);
          break;
        case kGripTopRight:
          o->Right = SatAdd(o->Right, dx), o->Top = SatAdd(o->Top, dy);
          break;
        case kGripBottomLeft:
          o->Left = SatAdd(o->Left, dx), o->Bottom = SatAdd(o->Bottom, dy);
          break;
        default:
          break;
      }
    }
    if (o->Style.Contains(vxvsMoveable) && dragGrip_ == kGripCentre) {
      o->Left = SatAdd(o->Left, dx), o->Right = SatAdd(o->Right, dx);
      o->Top = SatAdd(o->Top, dy), o->Bottom = SatAdd(o->Bottom, dy);
    }
  }
  Update();
}

void TVantixVect::RubberBandStep() {
  if (dragGrip_ != kGripNone || !leftDown_) return;
  currentPoint_ = lastMouse_;
  if (currentPoint_ == downPoint_) return;
  const TRect r{XScr2Bmp(downPoint_.x), YScr2Bmp(downPoint_.y), XScr2Bmp(currentPoint_.x),
                YScr2Bmp(currentPoint_.y)};
  selObjects_ = store_.ObjectsInside(r);
  FireSelect();
  viewport()->update();
}

void TVantixVect::VectMouseUp(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !leftDown_) return;
  leftDown_ = false;
  if (scrollTimer_) scrollTimer_->stop();
  if (editedText_ >= 0) {  // a double click opened the editor: it keeps the mouse-up
    insertKind_ = 0;
    dragGrip_ = kGripNone;
    return;
  }
  if (insertKind_ != 0) {
    PlaceObject(e);
  } else if (mouseInteractVt_.Contains(miObjectSelect)) {
    if (dragGrip_ != kGripNone)
      FinishGripDrag();
    else if (downPoint_ == currentPoint_)
      ClickSelect(e->modifiers() & Qt::ShiftModifier);
  }
  insertKind_ = 0;
  dragGrip_ = kGripNone;
  Update();
}

void TVantixVect::PlaceObject(QMouseEvent*) {
  TVXVObject& t = store_.Template();
  if (downPoint_ == currentPoint_) {
    // A click places the template's size with its top-left corner there.
    const int bx = XScr2Bmp(downPoint_.x), by = YScr2Bmp(downPoint_.y);
    const int64_t w = int64_t{t.Right} - t.Left, h = int64_t{t.Bottom} - t.Top;
    t.Left = bx;
    t.Top = by;
    t.Right = SatAdd(bx, w);
    t.Bottom = SatAdd(by, h);
  } else {
    t.Left = XScr2Bmp(downPoint_.x);
    t.Top = YScr2Bmp(downPoint_.y);
    t.Right = XScr2Bmp(currentPoint_.x);
    t.Bottom = YScr2Bmp(currentPoint_.y);
  }
  t.Kind = static_cast<TVXVObjectKind>(insertKind_);
  if (mouseInteractVt_.Contains(miDragLen)) {
    hint_->hide();
    return;
  }
  const int32_t i = store_.AddVObject(kVXVRoot, t);
  if (i < 0) return;
  selObjects_ = {i};
  FireSelect();
  if (t.Kind == vxkTEXT) OpenTextEditor(i);
  FireChanged();
}

void TVantixVect::ClickSelect(bool shift) {
  const int32_t i = FindNearObj(kVXVRoot, XScr2Bmp(downPoint_.x), YScr2Bmp(downPoint_.y));
  if (i == kVXVRoot) return;
  const auto it = std::find(selObjects_.begin(), selObjects_.end(), i);
  if (it == selObjects_.end()) {
    if (!shift) selObjects_.clear();
    selObjects_.push_back(i);
  } else if (shift) {
    selObjects_.erase(it);
  } else {
    selObjects_ = {i};
  }
  FireSelect();
}

void TVantixVect::FinishGripDrag() {
  for (int32_t i : selObjects_)
    if (TVXVObject* o = store_.Object(i); o && o->Kind != vxkLINE) o->OrderBox();
  if (gripMoved_) FireChanged();
}

// ============================== painting the overlay ==============================

void TVantixVect::paintEvent(QPaintEvent* event) {
  cachePass_ = true;
  TVantixView::paintEvent(event);
  cachePass_ = false;
  if (PaintLockCount() != 0 || viewport()->size().isEmpty()) return;
  QPainter p(viewport());
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  DrawGrips(p);
  DrawPreview(p);
}

void TVantixVect::DrawPreview(QPainter& p) const {
  if (!leftDown_ || currentPoint_ == downPoint_) return;
  const bool rubberBand = insertKind_ == 0 && dragGrip_ == kGripNone &&
                          mouseInteractVt_.Contains(miObjectSelect) && editedText_ < 0;
  if (insertKind_ == 0 && !rubberBand) return;
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(Qt::NoBrush);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QPoint a(downPoint_.x, downPoint_.y), b(currentPoint_.x, currentPoint_.y);
  const QRect box = QRect(a, b).normalized();
  // (l, t)-(r, b) inclusive.
  const QRect outline(box.left(), box.top(), box.width() - 1, box.height() - 1);
  if (insertKind_ == static_cast<int>(vxkLINE))
    p.drawLine(a, b);
  else if (insertKind_ == static_cast<int>(vxkELLIPSE))
    p.drawEllipse(outline);
  else
    p.drawRect(outline);
}

// ============================== keys ==============================

void TVantixVect::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && editedText_ >= 0) {
    CloseTextEditor();
    editedText_ = -1;
    Update();
  } else if (event->key() == Qt::Key_F2 && !selObjects_.empty() &&
             store_.ObjKind(selObjects_.front()) == vxkTEXT) {
    OpenTextEditor(selObjects_.front());
  }
  TVantixView::keyPressEvent(event);
}

// ============================== the inline editor ==============================

void TVantixVect::OpenTextEditor(int32_t i) {
  const int32_t r = store_.Resolve(i);
  if (r < 0 || store_.ObjKind(r) != vxkTEXT) return;
  CloseTextEditor();
  editedText_ = r;
  auto* edit = new TVXInlineEdit(
      viewport(), [this] { EditorEnter(); }, [this] { EditorEscape(); });
  edit->setFrame(false);
  edit->setAutoFillBackground(true);
  editorOriginal_ = ObjectTextToQString(store_.ObjText(r));
  edit->setText(editorOriginal_);
  editor_ = edit;
  PlaceEditor();
  edit->show();
  edit->setFocus();
  Update();  // the object shows its frame instead of its text
}

void TVantixVect::PlaceEditor() {
  const TVXVObject* o = store_.Object(editedText_);
  if (!editor_ || !o) return;
  const QRect box = ScreenBox(*o).normalized();
  const int w = std::max(1, box.right() - box.left()), h = std::max(1, box.bottom() - box.top());
  editor_->setGeometry(box.left(), box.top(), w, h);
  const TVXLogFont record = o->Font ? *o->Font : TVXLogFont{};
  const int height =
      record.Height != 0
          ? static_cast<int>(Trunc(static_cast<extended>(record.Height) * Zoom() / 100))
          : h;
  editor_->setFont(LogFontToQFont(record, height));
  QPalette pal = editor_->palette();
  pal.setColor(QPalette::Text, ToQColor(o->PenColor));
  pal.setColor(QPalette::Base, ToQColor(o->BrushStyle == bsSolid ? o->BrushColor : Background()));
  editor_->setPalette(pal);
}

void TVantixVect::CloseTextEditor() {
  if (!editor_) return;
  QLineEdit* edit = editor_;
  const int32_t i = editedText_;
  const bool hadFocus = edit->hasFocus();
  editor_ = nullptr;  // first: storing the text repaints, and that must see no editor
  editedText_ = -1;
  const QByteArray text = edit->text().toUtf8();
  edit->hide();
  edit->deleteLater();  // we may be inside its own key handler
  store_.SetObjText(i, std::string_view(text.constData(), static_cast<size_t>(text.size())));
  if (hadFocus) setFocus();
  Update();
}

void TVantixVect::EditorEnter() {
  CloseTextEditor();
  setFocus();
  FireChanged();
}

void TVantixVect::EditorEscape() {
  if (editor_) editor_->setText(editorOriginal_);
  CloseTextEditor();
  setFocus();
}

void TVantixVect::ViewChange(int change) {
  TVantixView::ViewChange(change);
  if (!editor_ || reopening_) return;
  // The editor follows its object to the new place.
  reopening_ = true;
  const int32_t i = editedText_;
  CloseTextEditor();
  OpenTextEditor(i);
  reopening_ = false;
}

// ============================== measurement ==============================

double TVantixVect::GetSelectionArea() const {
  const std::vector<TPoint>& pts = PolySelPoints();
  if (pts.size() < 3) return 0;
  return PolygonArea(pts) * CoefX() * CoefY();
}

TPoint TVantixVect::RubberPoint() const {
  return lastMouse_;
}

double TVantixVect::GetSelectionLen() const {
  const std::vector<TPoint>& pts = PolySelPoints();
  const double cx = CoefX(), cy = CoefY();
  double len = PolylineLength(pts, !PolygonDrawing(), cx, cy);
  if (MeasureToCursor && !pts.empty() && (PolygonDrawing() || RectDragging() || CircleDragging())) {
    const TPoint rp = RubberPoint();
    const TPoint& last = pts.back();
    len += std::hypot((static_cast<double>(XScr2Bmp(rp.x)) - last.x) * cx,
                      (static_cast<double>(YScr2Bmp(rp.y)) - last.y) * cy);
  }
  return len;
}

void TVantixVect::ShowHint(const std::string& text, QPoint at, bool clampToClient) {
  hint_->SetText(text);
  QPoint pos = at;
  if (clampToClient) {
    pos.setX(std::min(pos.x(), ClientWidth() - hint_->width() - 1));
    pos.setY(std::min(pos.y(), ClientHeight() - hint_->height() - 1));
  }
  hint_->move(viewport()->mapToGlobal(pos));
  if (!hint_->isVisible()) hint_->show();
  hint_->raise();
}

void TVantixVect::ShowMeasureHints(QPoint at) {
  double value = 0;
  bool area = false;
  if (mouseInteractVt_.Contains(miArea)) {
    value = GetSelectionArea();
    area = true;
  } else if (mouseInteractVt_.Contains(miLineLen)) {
    value = GetSelectionLen();
  } else {
    return;  // the drag length shows while a line is dragged
  }
  std::string text = store_.MeasureText(value, area);
  OnMeasureHint(this, text, value);
  ShowHint(text, at, true);
}

void TVantixVect::RefreshHints() {
  if (!hint_) return;
  ShowMeasureHints(QPoint(lastMouse_.x, lastMouse_.y));
}

}  // namespace vx
