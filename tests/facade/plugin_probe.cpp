// Prints the tool tip of the widget a Designer plugin file offers, as the current
// locale shows it: the translation test runs it under another locale.
#include <QApplication>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  QPluginLoader loader(QString::fromLocal8Bit(argv[1]));
  auto* widget = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
  if (!widget) {
    std::fprintf(stderr, "%s\n", qPrintable(loader.errorString()));
    return 1;
  }
  std::printf("%s\n", widget->toolTip().toUtf8().constData());
  return 0;
}
