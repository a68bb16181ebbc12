// vxdbdesign: the Designer plugin of the data-aware view. It registers exactly one
// class, TVantixDBView, in the "Vantix" group, and on load takes the translation for
// the current locale from beside the plugin file when there is one.
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include "design/widgetplugin.h"
#include "facade/dbvantix.h"

namespace vx::design {

namespace {

const TWidgetEntry kDBViewEntry{
    "vx::TVantixDBView",
    "facade/dbvantix.h",
    "vxdbdesign",
    QT_TRANSLATE_NOOP("vxdbdesign", "Vantix DB Controls"),
    QT_TRANSLATE_NOOP("vxdbdesign",
                      "An image view bound to a database field: map its imageData property "
                      "to a BLOB column with QDataWidgetMapper."),
    QSize(240, 180),
    TIconMotif::Database,
    &CreateWidget<TVantixDBView>,
};

}  // namespace

class TVantixDBViewPlugin : public TWidgetPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetInterface")
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  explicit TVantixDBViewPlugin(QObject* parent = nullptr) : TWidgetPlugin(kDBViewEntry, parent) {
    InstallTranslationBeside(reinterpret_cast<const void*>(&CreateWidget<TVantixDBView>),
                             QStringLiteral("vxdbdesign"));
  }
};

}  // namespace vx::design

#include "vxdbdesign.moc"
