// The Designer plugins as Qt Designer meets them: loaded from their files with
// QPluginLoader, asked for their widgets, and made to create them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <memory>
#include <set>

#include "controls/bufferedcontrol.h"
#include "facade/dbvantix.h"
#include "facadetest.h"
#include "testsupport.h"

namespace {

using namespace vx;

QString PluginPath(const char* name) {
  return QStringLiteral(VX_DESIGNER_DIR "/lib%1.so").arg(QLatin1String(name));
}

QObject* LoadPlugin(const char* name) {
  QLocale::setDefault(QLocale(QLocale::English));
  static std::vector<std::unique_ptr<QPluginLoader>> loaders;  // plugins stay loaded
  loaders.push_back(std::make_unique<QPluginLoader>(PluginPath(name)));
  QObject* instance = loaders.back()->instance();
  EXPECT_NE(instance, nullptr) << loaders.back()->errorString().toStdString();
  return instance;
}

// What Designer needs of every entry: the group, a class it can create under that
// name, a header that exists, an icon, and a default form snippet naming the class.
void CheckEntry(QDesignerCustomWidgetInterface& w) {
  SCOPED_TRACE(w.name().toStdString());
  EXPECT_EQ(w.group(), QStringLiteral("Vantix"));
  EXPECT_FALSE(w.isContainer());
  EXPECT_FALSE(w.icon().isNull());
  EXPECT_FALSE(w.toolTip().isEmpty());
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(VX_SOURCE_DIR "/src/") + w.includeFile()))
      << w.includeFile().toStdString();
  EXPECT_TRUE(w.domXml().contains(QStringLiteral("class=\"%1\"").arg(w.name())));

  QWidget parent;
  QWidget* created = w.createWidget(&parent);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->parent(), &parent);
  EXPECT_EQ(QString::fromLatin1(created->metaObject()->className()), w.name());
  // Its published properties are editable: every property the Vantix classes declare
  // (above QWidget's own) is writable and, unless it is run-time data, designable.
  const QMetaObject* mo = created->metaObject();
  int published = 0;
  for (int i = 0; i < mo->propertyCount(); ++i) {
    const QMetaProperty p = mo->property(i);
    if (!QByteArray(p.enclosingMetaObject()->className()).startsWith("vx::")) continue;
    SCOPED_TRACE(p.name());
    ++published;
    EXPECT_TRUE(p.isWritable());
    const QVariant value = created->property(p.name());
    EXPECT_TRUE(value.isValid());
    EXPECT_TRUE(created->setProperty(p.name(), value));
  }
  EXPECT_GT(published, 0);
  created->resize(120, 80);
  created->show();
  EXPECT_FALSE(created->grab().isNull());
}

TEST(DesignerPlugins, DBDesignRegistersExactlyTheDataAwareView) {
  QObject* plugin = LoadPlugin("vxdbdesign");
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(qobject_cast<QDesignerCustomWidgetCollectionInterface*>(plugin), nullptr);
  auto* w = qobject_cast<QDesignerCustomWidgetInterface*>(plugin);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->name(), QStringLiteral("vx::TVantixDBView"));
  EXPECT_EQ(w->toolTip(), QStringLiteral("Vantix DB Controls"));
  EXPECT_EQ(w->includeFile(), QStringLiteral("facade/dbvantix.h"));
  CheckEntry(*w);

  // The created view works: bytes in, picture shown.
  QWidget parent;
  auto* view = qobject_cast<TVantixDBView*>(w->createWidget(&parent));
  ASSERT_NE(view, nullptr);
  view->setProperty("imageData", vxtest::FileBytesQ(vxtest::F().png));
  EXPECT_TRUE(vxtest::SameImage(view->Bitmap(), vxtest::DecodeFile(vxtest::F().png)));
}

TEST(DesignerPlugins, DesignRegistersTheOtherWidgets) {
  QObject* plugin = LoadPlugin("vxdesign");
  ASSERT_NE(plugin, nullptr);
  auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(plugin);
  ASSERT_NE(collection, nullptr);
  std::set<std::string> names;
  for (QDesignerCustomWidgetInterface* w : collection->customWidgets()) {
    names.insert(w->name().toStdString());
    CheckEntry(*w);
  }
  const std::set<std::string> expected{
      "vx::TVantix",        "vx::TVantixView",  "vx::TVantixVect",
      "vx::THistogramBox",  "vx::TRulerBox",    "vx::THSVBox",
      "vx::TVXGradientBar", "vx::TVantixMView", "vx::TVantixVideoView"};
  // Later widgets join the table; these must always be there, the DB view never.
  for (const std::string& n : expected) EXPECT_TRUE(names.count(n)) << n;
  EXPECT_FALSE(names.count("vx::TVantixDBView"));
}

TEST(DesignerPlugins, DesignModeOnlyInsideDesigner) {
  QObject* plugin = LoadPlugin("vxdesign");
  ASSERT_NE(plugin, nullptr);
  auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(plugin);
  ASSERT_NE(collection, nullptr);
  SetControlsDesignMode(false);
  // A run-time form loader initialises plugins without an editor core.
  QDesignerCustomWidgetInterface* first = collection->customWidgets().front();
  first->initialize(nullptr);
  EXPECT_FALSE(ControlsDesignMode());
  // Designer passes its core; the controls then show their design-time samples. The
  // plugin only asks whether there is one, so any non-null stand-in does.
  QObject standIn;
  collection->customWidgets().back()->initialize(
      reinterpret_cast<QDesignerFormEditorInterface*>(&standIn));
  EXPECT_TRUE(ControlsDesignMode());
  SetControlsDesignMode(false);
}

TEST(DesignerPlugins, DBDesignTakesTheTranslationBesideIt) {
  const QString qm = QStringLiteral(VX_DESIGNER_DIR "/vxdbdesign_it.qm");
  if (!QFileInfo::exists(qm)) GTEST_SKIP() << "built without Qt's translation tools";
  // The locale is read when the plugin loads, so an Italian process of its own asks.
  const std::string probe = VX_PLUGIN_PROBE;
  const std::string plugin = PluginPath("vxdbdesign").toStdString();
  EXPECT_EQ(vxtest::RunCommand("LANGUAGE= LC_ALL=it_IT.UTF-8 QT_QPA_PLATFORM=offscreen '" + probe +
                               "' '" + plugin + "'"),
            "Controlli DB Vantix\n");
  EXPECT_EQ(vxtest::RunCommand("LANGUAGE= LC_ALL=C QT_QPA_PLATFORM=offscreen '" + probe + "' '" +
                               plugin + "'"),
            "Vantix DB Controls\n");
}

}  // namespace
