// The viewer's objects over the picture: the Annotate tools and menu, the properties of
// the selected objects, measuring with units and scale, object files and DXF drawings,
// and burning the objects into the picture.
#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

#include "imagefiles.h"
#include "io/vantixio.h"
#include "platform/exceptions.h"
#include "platform/syscolors.h"
#include "viewerwindow.h"

namespace vxviewer {

using namespace vx;

namespace {

constexpr const char* kObjectsFilter = "Vantix objects (*.vxv);;All files (*)";
constexpr const char* kDrawingFilter = "DXF drawings (*.dxf);;All files (*)";

QString Label(const QString& path) {
  return QFileInfo(path).fileName();
}

}  // namespace

// ============================== menus ==============================

void TViewerWindow::BuildObjectFileActions(QMenu* m) {
  AddAction(m, tr("&Import DXF..."), "fileImportDXF", {}, [this] {
    const QString name = ChooseObjectsFile(false, tr(kDrawingFilter));
    if (!name.isEmpty()) ImportDXF(name);
  });
  AddAction(m, tr("&Load objects..."), "fileLoadObjects", {}, [this] {
    if (objectsModified_ && view_->ObjectsCount() > 0) {
      const auto answer = AskSaveObjectChanges();
      if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !SaveObjectsDialog()))
        return;
    }
    const QString name = ChooseObjectsFile(false, tr(kObjectsFilter));
    if (!name.isEmpty()) LoadObjects(name);
  });
  AddAction(m, tr("Save ob&jects..."), "fileSaveObjects", {}, [this] { SaveObjectsDialog(); });
}

void TViewerWindow::BuildAnnotateMenu() {
  QMenu* m = AddMenu(tr("&Annotate"));
  QToolBar* bar = addToolBar(tr("Annotate"));
  bar->setObjectName("annotateToolBar");
  struct TTool {
    const char* text;
    const char* name;
    TVXMouseInteractVtItems item;
    TVXShape endShape;
  };
  const TTool tools[] = {
      {"&Select objects", "annotateSelect", miObjectSelect, vxsNONE},
      {"&Line", "annotateLine", miPutLine, vxsNONE},
      {"&Arrow", "annotateArrow", miPutLine, vxsOUTARROW},
      {"&Box", "annotateBox", miPutBox, vxsNONE},
      {"&Ellipse", "annotateEllipse", miPutEllipse, vxsNONE},
      {"&Text", "annotateText", miPutText, vxsNONE},
      {"&Picture", "annotatePicture", miPutBitmap, vxsNONE},
  };
  for (const TTool& t : tools) {
    const TTool tool = t;
    QAction* a = AddAction(m, tr(tool.text), tool.name, {}, [this, tool] {
      if (tool.item == miPutBitmap) ChoosePicture();
      SetTool({tool.item}, tool.endShape);
    });
    a->setCheckable(true);
    modeGroup_->addAction(a);
    bar->addAction(a);
  }
  m->addSeparator();
  AddAction(m, tr("&Insert clipboard picture"), "annotateInsertPicture", {}, [this] {
    if (!view_->InsertFromClipboard()) Report(tr("The clipboard holds no picture"));
  });
  AddAction(m, tr("Select &all objects"), "annotateSelectAll", {}, [this] {
    view_->SelAllObjects();
    ShowStatus();
  });
  AddAction(m, tr("&Delete objects"), "annotateDelete", {}, [this] { DeleteObjects(); });
  AddAction(m, tr("Bring to &front"), "annotateFront", {}, [this] {
    for (int32_t i : view_->SelectedObjects()) view_->SetObjFrontOf(i, -1);
    SetObjectsModified(true);
  });
  AddAction(m, tr("Send to bac&k"), "annotateBack", {}, [this] {
    const std::vector<int32_t> sel = view_->SelectedObjects();
    for (auto i = sel.rbegin(); i != sel.rend(); ++i) view_->SetObjBackTo(*i, -1);
    SetObjectsModified(true);
  });
  m->addSeparator();
  BuildPropertiesMenu(m);
}

void TViewerWindow::BuildPropertiesMenu(QMenu* m) {
  AddAction(m, tr("Pen &colour..."), "annotatePenColour", {}, [this] {
    const auto targets = PropertyTargets();
    TColor c = view_->ObjPenColor(targets.front());
    if (ChooseColour(c, tr("Pen colour")))
      ApplyToTargets([this, c](int32_t i) { view_->SetObjPenColor(i, c); });
  });
  AddAction(m, tr("B&rush colour..."), "annotateBrushColour", {}, [this] {
    const auto targets = PropertyTargets();
    TColor c = view_->ObjBrushColor(targets.front());
    if (!ChooseColour(c, tr("Brush colour"))) return;
    ApplyToTargets([this, c](int32_t i) {
      view_->SetObjBrushColor(i, c);
      // A chosen colour means a filled object.
      if (view_->ObjBrushStyle(i) == bsClear) view_->SetObjBrushStyle(i, bsSolid);
    });
  });
  AddAction(m, tr("Pen &width..."), "annotatePenWidth", {}, [this] {
    double w = view_->ObjPenWidth(PropertyTargets().front());
    if (AskNumber(tr("Pen width"), tr("Width in image pixels:"), w, 1, 100, 0))
      ApplyToTargets([this, w](int32_t i) { view_->SetObjPenWidth(i, static_cast<int32_t>(w)); });
  });
  AddAction(m, tr("&Font..."), "annotateFont", {}, [this] {
    QFont f = view_->ObjQFont(PropertyTargets().front());
    if (!ChooseFont(f)) return;
    ApplyToTargets([this, f](int32_t i) { view_->SetObjFont(i, f, view_->ObjPenColor(i)); });
  });
  QMenu* pen = m->addMenu(tr("&Pen style"));
  const char* penStyles[] = {"Solid", "Dash", "Dot", "Dash dot", "Dash dot dot", "None"};
  for (int k = 0; k < 6; ++k)
    AddAction(pen, tr(penStyles[k]), QString("annotatePenStyle%1").arg(k), {}, [this, k] {
      ApplyToTargets([this, k](int32_t i) { view_->SetObjPenStyle(i, static_cast<TPenStyle>(k)); });
    });
  QMenu* brush = m->addMenu(tr("Br&ush style"));
  const char* brushStyles[] = {
      "Solid", "None",          "Horizontal", "Vertical", "Forward diagonal", "Backward diagonal",
      "Cross", "Diagonal cross"};
  for (int k = 0; k < kBrushStyleCount; ++k)
    AddAction(brush, tr(brushStyles[k]), QString("annotateBrushStyle%1").arg(k), {}, [this, k] {
      ApplyToTargets(
          [this, k](int32_t i) { view_->SetObjBrushStyle(i, static_cast<TBrushStyle>(k)); });
    });
  const char* shapes[] = {"None", "Inward arrow", "Arrow"};
  for (bool begin : {true, false}) {
    QMenu* ends = m->addMenu(begin ? tr("Line &start") : tr("Line &end"));
    for (int k = 0; k < kVXVShapeCount; ++k) {
      const QString name = QString(begin ? "annotateBegin%1" : "annotateEnd%1").arg(k);
      AddAction(ends, tr(shapes[k]), name, {}, [this, k, begin] {
        ApplyToTargets([this, k, begin](int32_t i) {
          if (begin)
            view_->SetObjBeginShape(i, static_cast<TVXShape>(k));
          else
            view_->SetObjEndShape(i, static_cast<TVXShape>(k));
        });
      });
    }
  }
  AddAction(m, tr("Arrow si&ze..."), "annotateArrowSize", {}, [this] {
    const int32_t first = PropertyTargets().front();
    double w = view_->ObjShapeWidth(first), h = view_->ObjShapeHeight(first);
    if (!AskNumber(tr("Arrow size"), tr("Width of the head:"), w, 1, 1000, 0) ||
        !AskNumber(tr("Arrow size"), tr("Length of the head:"), h, 1, 1000, 0))
      return;
    ApplyToTargets([this, w, h](int32_t i) {
      view_->SetObjShapeWidth(i, static_cast<int32_t>(w));
      view_->SetObjShapeHeight(i, static_cast<int32_t>(h));
    });
  });
}

void TViewerWindow::BuildMeasureMenu() {
  QMenu* m = AddMenu(tr("Mea&sure"));
  measureGroup_ = new QActionGroup(this);
  struct TMode {
    const char* text;
    const char* name;
    TVXMouseInteractVt set;
  };
  const TMode modes[] = {{"&Off", "measureOff", {}},
                         {"&Area of the selection", "measureArea", {miArea}},
                         {"&Length of the selection", "measureLength", {miLineLen}},
                         {"&Drag length", "measureDrag", {miDragLen}}};
  for (const TMode& mode : modes) {
    const TVXMouseInteractVt set = mode.set;
    QAction* a = AddAction(m, tr(mode.text), mode.name, {}, [this, set] { SetMeasure(set); });
    a->setCheckable(true);
    a->setChecked(set.Empty());
    measureGroup_->addAction(a);
  }
  m->addSeparator();
  QMenu* units = m->addMenu(tr("&Units"));
  auto* unitGroup = new QActionGroup(this);
  const char* names[kVXUnitCount] = {"Pixels", "Inches",      "Kilometres",
                                     "Metres", "Centimetres", "Millimetres"};
  for (int k = 0; k < kVXUnitCount; ++k) {
    QAction* a = AddAction(units, tr(names[k]), QString("measureUnit%1").arg(k), {},
                           [this, k] { view_->SetMUnit(static_cast<TVXUnits>(k)); });
    a->setCheckable(true);
    a->setChecked(k == static_cast<int>(view_->MUnit()));
    unitGroup->addAction(a);
  }
  AddAction(m, tr("&Scale..."), "measureScale", {}, [this] {
    double s = view_->Scale();
    if (AskNumber(tr("Scale"), tr("Units of the drawing per unit measured:"), s, 1e-9, 1e12, 6))
      view_->SetScale(s);
  });
  AddAction(m, tr("Set scale from &selection..."), "measureScaleFromSelection", {}, [this] {
    if (!view_->Selected() || view_->PolySelCount() < 2)
      return Report(tr("Select the stretch of known length first"));
    double length = 1;
    const QString unit = strunits[static_cast<int>(view_->MUnit())];
    if (AskNumber(tr("Scale from selection"), tr("Length of the selection in %1:").arg(unit),
                  length, 1e-9, 1e12, 6))
      view_->SetScaleFromSelectionLen(length);
  });
}

// ============================== modes ==============================

void TViewerWindow::SetTool(TVXMouseInteractVt tool, TVXShape endShape) {
  if (tool.Contains(miPutLine)) {
    view_->SetObjBeginShape(kVXVTemplate, vxsNONE);
    view_->SetObjEndShape(kVXVTemplate, endShape);
  }
  view_->SetMouseInteractVt({});
  view_->SetMouseInteractVt(tool);
  view_->SetCursor(crCross);
  SyncModeActions();
}

void TViewerWindow::ChoosePicture() {
  const QString name = ChooseObjectsFile(false, OpenFilter());
  if (name.isEmpty()) return;  // placed objects keep the current picture
  TBitmap picture;
  TVantixIO loader;
  loader.SetAttachedBitmap(&picture);
  try {
    loader.LoadFromFile(name.toStdString());
  } catch (const std::exception& e) {
    return Report(tr("Cannot open %1: %2").arg(Label(name), QString::fromStdString(e.what())));
  }
  if (loader.Aborting() || picture.Empty())
    return Report(tr("Cannot open %1: %2")
                      .arg(Label(name), QString::fromStdString(loader.LastError().empty()
                                                                   ? "not a picture"
                                                                   : loader.LastError())));
  view_->SetObjBitmap(kVXVTemplate, &picture);
  // Placed at its own size by a click.
  TVXVObject& t = view_->Objects().Template();
  t.Right = t.Left + picture.Width() - 1;
  t.Bottom = t.Top + picture.Height() - 1;
}

void TViewerWindow::SetMeasure(TVXMouseInteractVt item) {
  view_->SetMouseInteractVt(item);
  // Measuring a selection needs a way to make one; with nothing left the mouse selects.
  const bool selecting = item.Contains(miArea) || item.Contains(miLineLen);
  if (view_->MouseInteract().Empty() && (selecting || view_->MouseInteractVt().Empty()))
    SetMode({miSelect}, crCross2);
  SyncModeActions();
}

void TViewerWindow::SyncModeActions() {
  const TVXMouseInteractVt vt = view_->MouseInteractVt();
  const TVXMouseInteract mi = view_->MouseInteract();
  struct TState {
    const char* name;
    bool on;
  };
  const bool arrow = view_->ObjEndShape(kVXVTemplate) != vxsNONE;
  const TState states[] = {
      {"mouseSelect", mi == TVXMouseInteract{miSelect}},
      {"mousePolygon", mi == TVXMouseInteract{miSelectPolygon}},
      {"mouseEllipse", mi == TVXMouseInteract{miSelectCircle}},
      {"mouseZoom", mi == TVXMouseInteract{miZoom}},
      {"mouseSelectZoom", mi == TVXMouseInteract{miSelectZoom}},
      {"mouseScroll", mi == TVXMouseInteract{miScroll}},
      {"annotateSelect", vt.Contains(miObjectSelect)},
      {"annotateLine", vt.Contains(miPutLine) && !arrow},
      {"annotateArrow", vt.Contains(miPutLine) && arrow},
      {"annotateBox", vt.Contains(miPutBox)},
      {"annotateEllipse", vt.Contains(miPutEllipse)},
      {"annotateText", vt.Contains(miPutText)},
      {"annotatePicture", vt.Contains(miPutBitmap)},
      {"measureOff", !vt.Contains(miArea) && !vt.Contains(miLineLen) && !vt.Contains(miDragLen)},
      {"measureArea", vt.Contains(miArea)},
      {"measureLength", vt.Contains(miLineLen)},
      {"measureDrag", vt.Contains(miDragLen)},
  };
  for (const TState& s : states)
    if (QAction* a = Action(s.name); a && a->isChecked() != s.on) a->setChecked(s.on);
}

// ============================== properties ==============================

std::vector<int32_t> TViewerWindow::PropertyTargets() const {
  if (view_->SelObjectsCount() > 0) return view_->SelectedObjects();
  return {kVXVTemplate};
}

void TViewerWindow::ApplyToTargets(const std::function<void(int32_t)>& set) {
  const std::vector<int32_t> targets = PropertyTargets();
  for (int32_t i : targets) set(i);
  if (targets.front() != kVXVTemplate) SetObjectsModified(true);
}

void TViewerWindow::DeleteObjects() {
  const std::vector<int32_t> sel = view_->SelectedObjects();
  if (sel.empty()) return;
  for (int32_t i : sel) view_->RemoveObject(i);
  SetObjectsModified(true);
  ShowStatus();
}

void TViewerWindow::BurnObjects() {
  if (view_->ObjectsCount() == 0) return Report(tr("There are no objects to burn in"));
  Process(tr("Objects burnt into the image"), [this](TVantixProc& p) {
    p.SaveUndo();
    view_->CopyObjectsToBack();
  });
  // They are pixels now: drawn again over them they would only hide what changes next.
  view_->RemoveAllObjects();
  SetObjectsModified(false);
}

// ============================== files ==============================

bool TViewerWindow::LoadObjects(const QString& fileName) {
  QString failure;
  try {
    view_->LoadFromFileVXV(fileName.toStdString());
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  }
  if (!failure.isEmpty()) {
    // What was read before the fault stays; it is not what the file held.
    SetObjectsModified(view_->ObjectsCount() > 0);
    Report(tr("Cannot load objects from %1: %2").arg(Label(fileName), failure));
    return false;
  }
  objectsFile_ = QFileInfo(fileName).absoluteFilePath();
  SetObjectsModified(false);
  SyncModeActions();
  ShowStatus();
  statusBar()->showMessage(
      tr("Loaded %1 objects from %2").arg(view_->ObjectsCount()).arg(Label(fileName)), 3000);
  return true;
}

bool TViewerWindow::SaveObjects(const QString& fileName) {
  try {
    view_->SaveToFileVXV(fileName.toStdString());
  } catch (const std::exception& e) {
    Report(
        tr("Cannot save objects to %1: %2").arg(Label(fileName), QString::fromStdString(e.what())));
    return false;
  }
  objectsFile_ = QFileInfo(fileName).absoluteFilePath();
  SetObjectsModified(false);
  statusBar()->showMessage(tr("Saved the objects to %1").arg(Label(fileName)), 3000);
  return true;
}

bool TViewerWindow::SaveObjectsDialog() {
  QString name = ChooseObjectsFile(true, tr(kObjectsFilter));
  if (name.isEmpty()) return false;
  if (QFileInfo(name).suffix().isEmpty()) name += ".vxv";
  return SaveObjects(name);
}

bool TViewerWindow::ImportDXF(const QString& fileName) {
  const int before = view_->ObjectsCount();
  try {
    view_->ImportDXF(fileName.toStdString());
  } catch (const std::exception& e) {
    Report(tr("Cannot import %1: %2").arg(Label(fileName), QString::fromStdString(e.what())));
    return false;
  }
  const int added = view_->ObjectsCount() - before;
  if (added > 0) SetObjectsModified(true);
  ShowStatus();
  statusBar()->showMessage(tr("Imported %1 objects from %2").arg(added).arg(Label(fileName)), 3000);
  return true;
}

void TViewerWindow::SetObjectsModified(bool m) {
  objectsModified_ = m;
  UpdateTitle();
}

// ============================== events ==============================

void TViewerWindow::ObjectsChanged(TObject*) {
  SetObjectsModified(true);
  ShowStatus();
}

void TViewerWindow::ObjectSelectionChanged(TObject*) {
  ShowStatus();
}

void TViewerWindow::MeasureHint(TObject*, std::string& text, double) {
  statusBar()->showMessage(QString::fromStdString(text));
}

// ============================== questions ==============================

QString TViewerWindow::ChooseObjectsFile(bool save, const QString& filter) {
  const QString folder = currentFile_.isEmpty() ? QString() : QFileInfo(currentFile_).path();
  if (save)
    return QFileDialog::getSaveFileName(this, tr("Save objects"),
                                        objectsFile_.isEmpty() ? folder : objectsFile_, filter,
                                        nullptr, QFileDialog::DontUseNativeDialog);
  return QFileDialog::getOpenFileName(this, tr("Open"), folder, filter, nullptr,
                                      QFileDialog::DontUseNativeDialog);
}

bool TViewerWindow::ChooseFont(QFont& font) {
  bool ok = false;
  const QFont f =
      QFontDialog::getFont(&ok, font, this, tr("Font"), QFontDialog::DontUseNativeDialog);
  if (ok) font = f;
  return ok;
}

bool TViewerWindow::AskNumber(const QString& title, const QString& label, double& value,
                              double minimum, double maximum, int decimals) {
  bool ok = false;
  const double v =
      QInputDialog::getDouble(this, title, label, value, minimum, maximum, decimals, &ok);
  if (ok) value = v;
  return ok;
}

QMessageBox::StandardButton TViewerWindow::AskSaveObjectChanges() {
  return QMessageBox::question(
      this, tr("Save objects?"), tr("The objects over the picture have not been saved. Save them?"),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
}

}  // namespace vxviewer
