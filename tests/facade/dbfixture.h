#pragma once
// A real SQLite database of images for the data-aware view: table images(id, name,
// data), one row per format the library reads, a garbage row and an empty (NULL) row
// right after it.
#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <string>
#include <vector>

namespace vxtest {

struct ImageRecord {
  std::string name;
  std::string file;  // the file the bytes came from; empty for garbage and empty rows
  QByteArray bytes;
};

// The rows, in id order (id = index + 1).
const std::vector<ImageRecord>& ImageRecords();

// A fresh database file in the test's temporary folder, opened under its own
// connection name and filled with ImageRecords(). Closed and removed by the destructor.
class TempCatalogue {
 public:
  explicit TempCatalogue(const QString& name);
  ~TempCatalogue();
  QSqlDatabase& Db() { return db_; }
  // The stored bytes of one row, read back with a query of their own.
  QByteArray Stored(int id);
  bool StoredIsNull(int id);

 private:
  QString connection_;
  QSqlDatabase db_;
};

}  // namespace vxtest
