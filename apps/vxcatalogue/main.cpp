// vxcatalogue [DATABASE] [FILE...]: opens (or creates) an SQLite catalogue of images,
// adds the files given, and shows it. --list prints the records and exits;
// --screenshot PNG renders the window into a file and exits.
#include <QApplication>
#include <QCommandLineParser>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <cstdio>

#include "cataloguewindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vxcatalogue"));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Images kept in an SQLite database."));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("database"),
                               QStringLiteral("The catalogue file (default catalogue.sqlite)."));
  parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Images to add."),
                               QStringLiteral("[files...]"));
  const QCommandLineOption list(QStringLiteral("list"),
                                QStringLiteral("Print the records and exit."));
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Render the window into <png> and exit."),
                                      QStringLiteral("png"));
  parser.addOption(list);
  parser.addOption(screenshot);
  parser.process(app);

  QStringList args = parser.positionalArguments();
  const QString database = args.isEmpty() ? QStringLiteral("catalogue.sqlite") : args.takeFirst();
  vxcatalogue::CatalogueWindow window(database);
  if (!window.Ok()) {
    std::fprintf(stderr, "vxcatalogue: %s: %s\n", qPrintable(database),
                 qPrintable(window.LastError()));
    return 1;
  }
  if (!args.isEmpty() && window.AddFiles(args) != args.size())
    std::fprintf(stderr, "vxcatalogue: some files could not be added\n");
  if (parser.isSet(list)) {
    QSqlTableModel& m = window.Model();
    for (int row = 0; row < m.rowCount(); ++row) {
      const QSqlRecord r = m.record(row);
      std::printf("%d\t%s\t%lld bytes\n", r.value(QStringLiteral("id")).toInt(),
                  qPrintable(r.value(QStringLiteral("name")).toString()),
                  static_cast<long long>(r.value(QStringLiteral("data")).toByteArray().size()));
    }
    return 0;
  }
  window.resize(800, 560);
  if (parser.isSet(screenshot)) {
    window.show();
    return window.grab().save(parser.value(screenshot)) ? 0 : 1;
  }
  window.show();
  return QApplication::exec();
}
