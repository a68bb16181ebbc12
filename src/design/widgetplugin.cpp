#include "design/widgetplugin.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QTranslator>
#include <QWidget>
#include <memory>

#include "controls/bufferedcontrol.h"

namespace vx::design {

namespace {

// Paints the motif into a 32 x 32 frame: a light card with a dark border, the motif
// in the library's blue, green and orange.
void PaintMotif(QPainter& p, TIconMotif motif) {
  const QColor blue(0x2a, 0x5d, 0xb0), green(0x3c, 0x9a, 0x4a), orange(0xe0, 0x80, 0x20);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  p.setBrush(QColor(0xf4, 0xf4, 0xf0));
  p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 3, 3);
  p.setPen(Qt::NoPen);
  switch (motif) {
    case TIconMotif::Picture:
    case TIconMotif::Facade:
      p.setBrush(QColor(0x9c, 0xc8, 0xf0));
      p.drawRect(5, 5, 22, 22);
      p.setBrush(green);
      p.drawPolygon(QPolygon(
          {QPoint(5, 27), QPoint(13, 15), QPoint(19, 22), QPoint(22, 18), QPoint(27, 27)}));
      p.setBrush(orange);
      p.drawEllipse(QPoint(21, 10), 3, 3);
      if (motif == TIconMotif::Facade) {  // a gear-like badge: view plus tools
        p.setBrush(blue);
        p.drawEllipse(QPoint(8, 8), 4, 4);
      }
      break;
    case TIconMotif::Database:
      p.setBrush(QColor(0x9c, 0xc8, 0xf0));
      p.drawRect(4, 4, 16, 14);
      p.setBrush(green);
      p.drawPolygon(QPolygon({QPoint(4, 18), QPoint(10, 10), QPoint(20, 18)}));
      p.setBrush(blue);
      p.drawRect(15, 17, 12, 10);
      p.drawEllipse(QRect(15, 14, 12, 6));
      p.setBrush(blue.lighter(140));
      p.drawEllipse(QRect(15, 24, 12, 6));
      break;
    case TIconMotif::Vector:
      p.setPen(QPen(blue, 2));
      p.setBrush(Qt::NoBrush);
      p.drawLine(6, 25, 25, 7);
      p.drawRect(7, 7, 10, 8);
      p.setPen(QPen(orange, 2));
      p.drawEllipse(QRect(14, 16, 11, 9));
      break;
    case TIconMotif::Histogram:
      p.setBrush(blue);
      for (int i = 0; i < 6; ++i) {
        const int h = 4 + ((i * 7 + 3) % 17);
        p.drawRect(5 + i * 4, 27 - h, 3, h);
      }
      break;
    case TIconMotif::Ruler:
      p.setBrush(orange);
      p.drawRect(4, 11, 24, 10);
      p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
      for (int x = 6; x < 28; x += 3) p.drawLine(x, 11, x, x % 2 ? 15 : 17);
      break;
    case TIconMotif::Colours:
      p.setBrush(QColor(0xd0, 0x30, 0x30));
      p.drawPie(QRect(5, 5, 22, 22), 90 * 16, 120 * 16);
      p.setBrush(green);
      p.drawPie(QRect(5, 5, 22, 22), 210 * 16, 120 * 16);
      p.setBrush(blue);
      p.drawPie(QRect(5, 5, 22, 22), 330 * 16, 120 * 16);
      break;
    case TIconMotif::Gradient: {
      QLinearGradient g(4, 0, 28, 0);
      g.setColorAt(0, Qt::black);
      g.setColorAt(0.5, orange);
      g.setColorAt(1, Qt::white);
      p.setBrush(g);
      p.drawRect(4, 10, 24, 12);
      break;
    }
  }
}

}  // namespace

QIcon PaletteIcon(TIconMotif motif) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  PaintMotif(p, motif);
  p.end();
  return QIcon(pixmap);
}

void EnterDesignMode(QDesignerFormEditorInterface* core) {
  if (core) SetControlsDesignMode(true);
}

TWidgetPlugin::TWidgetPlugin(const TWidgetEntry& entry, QObject* parent)
    : QObject(parent), entry_(entry) {}

QString TWidgetPlugin::name() const {
  return QString::fromLatin1(entry_.className);
}

QString TWidgetPlugin::group() const {
  return QString::fromLatin1(kGroup);
}

QString TWidgetPlugin::toolTip() const {
  return QCoreApplication::translate(entry_.context, entry_.toolTip);
}

QString TWidgetPlugin::whatsThis() const {
  return QCoreApplication::translate(entry_.context, entry_.whatsThis);
}

QString TWidgetPlugin::includeFile() const {
  return QString::fromLatin1(entry_.includeFile);
}

QIcon TWidgetPlugin::icon() const {
  return PaletteIcon(entry_.motif);
}

QWidget* TWidgetPlugin::createWidget(QWidget* parent) {
  return entry_.create(parent);
}

void TWidgetPlugin::initialize(QDesignerFormEditorInterface* core) {
  if (initialized_) return;
  EnterDesignMode(core);
  initialized_ = true;
}

QString TWidgetPlugin::domXml() const {
  // The object name is the class name without its namespace, lower-cased at the start.
  QString object = name().section(QStringLiteral("::"), -1);
  object.replace(0, 1, object.at(0).toLower());
  return QStringLiteral(
             "<ui language=\"c++\">\n"
             " <widget class=\"%1\" name=\"%2\">\n"
             "  <property name=\"geometry\">\n"
             "   <rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect>\n"
             "  </property>\n"
             " </widget>\n"
             "</ui>\n")
      .arg(name(), object)
      .arg(entry_.defaultSize.width())
      .arg(entry_.defaultSize.height());
}

bool InstallTranslationBeside(const void* anchor, const QString& base) {
  Dl_info info{};
  if (!dladdr(anchor, &info) || !info.dli_fname) return false;
  const QString folder = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(), base, QStringLiteral("_"), folder)) return false;
  // The application keeps it for as long as the plugin is loaded: plugins stay loaded.
  QTranslator* kept = translator.release();
  if (QCoreApplication::instance()) kept->setParent(QCoreApplication::instance());
  return QCoreApplication::installTranslator(kept);
}

}  // namespace vx::design
