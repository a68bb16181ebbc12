#pragma once
// What the two Designer plugins share: one widget-box entry described by a row of a
// table (class, header, tool tip, default size, factory, icon), the plugin object that
// serves such a row to Qt Designer, and the painted palette icons.
#include <QIcon>
#include <QObject>
#include <QSize>
#include <QString>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class QWidget;

namespace vx::design {

// Every Vantix widget sits in this widget-box group.
inline constexpr char kGroup[] = "Vantix";

// The motif a palette icon shows.
enum class TIconMotif { Picture, Database, Vector, Histogram, Ruler, Colours, Gradient, Facade };

struct TWidgetEntry {
  const char* className;    // fully qualified, as the class's meta-object names it
  const char* includeFile;  // as an application includes it
  const char* context;      // translation context of the texts below
  const char* toolTip;      // untranslated
  const char* whatsThis;    // untranslated
  QSize defaultSize;
  TIconMotif motif;
  QWidget* (*create)(QWidget* parent);
};

template <class Widget>
QWidget* CreateWidget(QWidget* parent) {
  return new Widget(parent);
}

// A 32 x 32 palette image in the library's colours.
QIcon PaletteIcon(TIconMotif motif);

// Switches the controls to their design-time look once Designer itself (not a run-time
// form loader, which passes no editor core) initialises a plugin.
void EnterDesignMode(QDesignerFormEditorInterface* core);

class TWidgetPlugin : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  explicit TWidgetPlugin(const TWidgetEntry& entry, QObject* parent = nullptr);

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override { return false; }
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface* core) override;
  QString domXml() const override;

 private:
  TWidgetEntry entry_;
  bool initialized_ = false;
};

// Installs the translation "<base>_<locale>.qm" found beside the plugin file that holds
// `anchor` (any function of that plugin), for the current locale. False when there is
// none.
bool InstallTranslationBeside(const void* anchor, const QString& base);

}  // namespace vx::design
