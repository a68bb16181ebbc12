#include "filedialogs.h"

#include <QFileInfo>

#include "dialogs/openvantixdialog.h"
#include "dialogs/savevantixdialog.h"
#include "io/vantixio.h"

namespace vxviewer {

QString ChooseImageWithPreview(QWidget* parent, const QString& folder) {
  vx::TOpenVantixDialog dialog(parent);
  dialog.Title = QObject::tr("Open image");
  dialog.InitialDir = folder;
  return dialog.Execute() ? dialog.FileName : QString();
}

QString ChooseSaveNameWithPreview(QWidget* parent, vx::TVantixIO& io, const QString& currentFile,
                                  QString* filter) {
  vx::TSaveVantixDialog dialog(parent);
  dialog.Title = QObject::tr("Save image as");
  // The save dialog's own list names only the formats the library writes.
  dialog.AutoSetFilter = false;
  dialog.SetAttachedVantixIO(&io);
  if (!currentFile.isEmpty()) {
    const QFileInfo info(currentFile);
    dialog.InitialDir = info.absolutePath();
    dialog.FileName = info.fileName();
    const QStringList types = vx::VXFilterToNameFilters(dialog.Filter.toStdString());
    const QString suffix = "*." + info.suffix().toLower();
    for (qsizetype i = 0; i < types.size(); ++i)
      if (types[i].contains(suffix + ")") || types[i].contains(suffix + " ")) {
        dialog.FilterIndex = static_cast<int>(i) + 1;
        break;
      }
  }
  if (!dialog.Execute()) return {};
  if (filter) *filter = dialog.Dialog().selectedNameFilter();
  return dialog.FileName;
}

}  // namespace vxviewer
