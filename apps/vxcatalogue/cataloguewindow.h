#pragma once
// The catalogue window: a list of the records of one SQLite database on the left, the
// selected record's name and picture on the right. The picture is a TVantixDBView
// bound by a QDataWidgetMapper to the BLOB column; edits stay in the window until
// Save writes them (or Revert drops them).
#include <QMainWindow>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QDataWidgetMapper;
class QLabel;
class QLineEdit;
class QListView;
class QSqlTableModel;

namespace vx {
class TVantixDBView;
}

namespace vxcatalogue {

class CatalogueWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Opens (creating when needed) the database file; Ok() tells whether it worked.
  explicit CatalogueWindow(const QString& databaseFile, QWidget* parent = nullptr);
  ~CatalogueWindow() override;

  bool Ok() const { return ok_; }
  const QString& LastError() const { return error_; }

  // Adds each file as a new record named after it; the last one becomes current.
  // Returns how many were added (files that cannot be read are skipped).
  int AddFiles(const QStringList& files);
  int Count() const;
  int Current() const;
  void Go(int row);
  void Next();
  void Previous();
  // Writes the current record's edits (name and picture) to the database.
  bool Save();
  void Revert();
  bool DeleteCurrent();

  vx::TVantixDBView& Picture() { return *picture_; }
  QSqlTableModel& Model() { return *model_; }

 private:
  void BuildActions();
  void ShowStatus();
  void AddFilesFromDialog();

  QString connection_;
  QSqlDatabase db_;
  QSqlTableModel* model_ = nullptr;
  QDataWidgetMapper* mapper_ = nullptr;
  QListView* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  vx::TVantixDBView* picture_ = nullptr;
  QLabel* status_ = nullptr;
  bool ok_ = false;
  QString error_;
};

}  // namespace vxcatalogue
