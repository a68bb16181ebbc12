#pragma once
// The viewer's file dialogs: the library's open and save dialogs with their preview
// pane; the save dialog's Advanced... button sets the chosen format's parameters on the
// viewer's input/output component before it saves.
#include <QString>

class QWidget;

namespace vx {
class TVantixIO;
}

namespace vxviewer {

// The file to open, or empty when cancelled.
QString ChooseImageWithPreview(QWidget* parent, const QString& folder);
// The name to save under (with the extension of the chosen type when none was typed),
// or empty when cancelled; *filter receives the chosen type. A cancelled dialog leaves
// io's parameters as they were.
QString ChooseSaveNameWithPreview(QWidget* parent, vx::TVantixIO& io, const QString& currentFile,
                                  QString* filter);

}  // namespace vxviewer
