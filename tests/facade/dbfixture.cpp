#include "dbfixture.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <stdexcept>

#include "facadetest.h"
#include "testsupport.h"

namespace vxtest {

const std::vector<ImageRecord>& ImageRecords() {
  static const std::vector<ImageRecord> records = [] {
    const Fixtures& f = F();
    std::vector<ImageRecord> r;
    for (const auto& [name, file] : {std::pair{"png", f.png},
                                     {"jpeg", f.jpeg},
                                     {"gif", f.gif},
                                     {"bmp", f.bmp},
                                     {"pcx", f.pcx},
                                     {"tiff", f.tiff},
                                     {"ico", f.ico},
                                     {"cur", f.cur}})
      r.push_back({name, file, FileBytesQ(file)});
    r.push_back({"garbage", "", QByteArray("this is not an image at all, only some text")});
    r.push_back({"empty", "", QByteArray()});
    return r;
  }();
  return records;
}

TempCatalogue::TempCatalogue(const QString& name) : connection_(name) {
  const QString path = QString::fromStdString(TempDir()) + "/" + name + ".sqlite";
  QFile::remove(path);
  db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  db_.setDatabaseName(path);
  if (!db_.open()) throw std::runtime_error(db_.lastError().text().toStdString());
  QSqlQuery q(db_);
  // A scratch file: no need to wait for the disk after every statement.
  q.exec(QStringLiteral("PRAGMA synchronous = OFF"));
  db_.transaction();
  q.exec(QStringLiteral("CREATE TABLE images (id INTEGER PRIMARY KEY, name TEXT, data BLOB)"));
  for (const ImageRecord& r : ImageRecords()) {
    q.prepare(QStringLiteral("INSERT INTO images (name, data) VALUES (?, ?)"));
    q.addBindValue(QString::fromStdString(r.name));
    q.addBindValue(r.bytes.isEmpty() ? QVariant(QMetaType(QMetaType::QByteArray))
                                     : QVariant(r.bytes));
    if (!q.exec()) throw std::runtime_error(q.lastError().text().toStdString());
  }
  db_.commit();
}

TempCatalogue::~TempCatalogue() {
  db_.close();
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(connection_);
}

QByteArray TempCatalogue::Stored(int id) {
  QSqlQuery q(db_);
  q.prepare(QStringLiteral("SELECT data FROM images WHERE id = ?"));
  q.addBindValue(id);
  if (!q.exec() || !q.next()) return QByteArray("<no such row>");
  return q.value(0).toByteArray();
}

}  // namespace vxtest

namespace vxtest {

bool TempCatalogue::StoredIsNull(int id) {
  QSqlQuery q(db_);
  q.prepare(QStringLiteral("SELECT data IS NULL FROM images WHERE id = ?"));
  q.addBindValue(id);
  return q.exec() && q.next() && q.value(0).toInt() == 1;
}

}  // namespace vxtest
