// vxdesign: the Designer plugin of every other Vantix widget, one row of the table
// below each, all in the "Vantix" group.
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include "acquire/vxcapview.h"
#include "controls/histogrambox.h"
#include "controls/hsvbox.h"
#include "controls/rulerbox.h"
#include "controls/vxgradientbar.h"
#include "design/widgetplugin.h"
#include "facade/vantix.h"
#include "multi/vantixmview.h"
#include "vect/vantixvect.h"
#include "view/vantixview.h"

namespace vx::design {

namespace {

const TWidgetEntry kEntries[] = {
    {"vx::TVantix", "facade/vantix.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix image view with processing and file input/output"),
     QT_TRANSLATE_NOOP("vxdesign", "Shows, edits, loads and saves one image."), QSize(240, 180),
     TIconMotif::Facade, &CreateWidget<TVantix>},
    {"vx::TVantixView", "view/vantixview.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix image view"),
     QT_TRANSLATE_NOOP("vxdesign", "Shows one image with zoom, scrolling and selections."),
     QSize(240, 180), TIconMotif::Picture, &CreateWidget<TVantixView>},
    {"vx::TVantixMView", "multi/vantixmview.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix thumbnail view"),
     QT_TRANSLATE_NOOP("vxdesign", "Shows many images as thumbnails or one at a time."),
     QSize(300, 200), TIconMotif::Picture, &CreateWidget<TVantixMView>},
    {"vx::TVantixVideoView", "acquire/vxcapview.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix video capture view"),
     QT_TRANSLATE_NOOP("vxdesign", "Shows the frames of a capture device."), QSize(320, 240),
     TIconMotif::Picture, &CreateWidget<TVantixVideoView>},
    {"vx::TVantixVect", "vect/vantixvect.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix vector view"),
     QT_TRANSLATE_NOOP("vxdesign", "An image view with vector objects over the image."),
     QSize(240, 180), TIconMotif::Vector, &CreateWidget<TVantixVect>},
    {"vx::THistogramBox", "controls/histogrambox.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix histogram box"),
     QT_TRANSLATE_NOOP("vxdesign", "Plots the histogram of an attached processing component."),
     QSize(256, 128), TIconMotif::Histogram, &CreateWidget<THistogramBox>},
    {"vx::TRulerBox", "controls/rulerbox.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix ruler"),
     QT_TRANSLATE_NOOP("vxdesign", "A ruler with units and draggable grips."), QSize(300, 30),
     TIconMotif::Ruler, &CreateWidget<TRulerBox>},
    {"vx::THSVBox", "controls/hsvbox.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix HSV colour picker"),
     QT_TRANSLATE_NOOP("vxdesign", "Picks a colour by hue, saturation and value."), QSize(130, 130),
     TIconMotif::Colours, &CreateWidget<THSVBox>},
    {"vx::TVXGradientBar", "controls/vxgradientbar.h", "vxdesign",
     QT_TRANSLATE_NOOP("vxdesign", "Vantix gradient bar"),
     QT_TRANSLATE_NOOP("vxdesign", "Picks a colour from a ramp."), QSize(200, 20),
     TIconMotif::Gradient, &CreateWidget<TVXGradientBar>},
};

}  // namespace

class TVantixWidgets : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

 public:
  explicit TVantixWidgets(QObject* parent = nullptr) : QObject(parent) {
    for (const TWidgetEntry& entry : kEntries) widgets_.append(new TWidgetPlugin(entry, this));
  }

  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;
};

}  // namespace vx::design

#include "vxdesign.moc"
