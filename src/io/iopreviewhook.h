#pragma once
// The save-parameter dialog seen from the non-visual side. vxcore has no widgets, so the
// dialog registers itself here when the widget library loads; without it (a build or a
// process without vxcontrols) asking for the dialog answers false and changes nothing.
//
// Both TVantixIO::DoPreviews and the multi-image component's DoPreviews go through
// RunIOPreviews, so the dialog is set up the same way whoever opens it.
#include "io/vantixio.h"

namespace vx {

class TBitmap;
class TIOParamsVals;
struct TFont;

// What one run of the dialog needs: the image to preview (copied into the dialog's
// source view), the parameter set it edits (changed only on OK) and how to set it up.
struct TIOPreviewRequest {
  const TBitmap* Image = nullptr;
  TIOParamsVals* Params = nullptr;
  TPreviewParams Pages;
  bool LockPreview = false;
  TMsgLanguage Language{};
  const TFont* Font = nullptr;
  // Passed as Sender to OnPreview, which fires just before the dialog is shown.
  TObject* Sender = nullptr;
  TVXIOPreviewEvent OnPreview;
};

// Shows the dialog for the request; true when the user closed it with OK.
using TIOPreviewRunner = bool (*)(const TIOPreviewRequest& request);

// Installs the runner; returns the previous one. nullptr removes it.
TIOPreviewRunner SetIOPreviewRunner(TIOPreviewRunner runner);
TIOPreviewRunner IOPreviewRunner();

// Runs the installed dialog. False, with params untouched, when no dialog is installed,
// when there is no image or parameter set, or when the image is empty.
bool RunIOPreviews(const TIOPreviewRequest& request);

}  // namespace vx
