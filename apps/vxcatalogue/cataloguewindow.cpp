#include "cataloguewindow.h"

#include <QAction>
#include <QDataWidgetMapper>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStatusBar>
#include <QToolBar>
#include <QUuid>
#include <QVBoxLayout>

#include "facade/dbvantix.h"

namespace vxcatalogue {

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS images ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL DEFAULT '',"
    " data BLOB)";

}  // namespace

CatalogueWindow::CatalogueWindow(const QString& databaseFile, QWidget* parent)
    : QMainWindow(parent), connection_(QUuid::createUuid().toString()) {
  setWindowTitle(tr("Vantix catalogue - %1").arg(QFileInfo(databaseFile).fileName()));
  db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  db_.setDatabaseName(databaseFile);
  if (!db_.open()) {
    error_ = db_.lastError().text();
  } else if (QSqlQuery q(db_); !q.exec(QLatin1String(kSchema))) {
    error_ = q.lastError().text();
  } else {
    ok_ = true;
  }

  model_ = new QSqlTableModel(this, db_);
  model_->setTable(QStringLiteral("images"));
  model_->setEditStrategy(QSqlTableModel::OnManualSubmit);
  model_->setSort(0, Qt::AscendingOrder);
  model_->select();

  list_ = new QListView;
  list_->setModel(model_);
  list_->setModelColumn(model_->fieldIndex(QStringLiteral("name")));
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setMaximumWidth(220);

  name_ = new QLineEdit;
  picture_ = new vx::TVantixDBView;
  picture_->setMinimumSize(320, 240);
  picture_->SetMouseInteract(vx::TVXMouseInteract{vx::miSelect});

  mapper_ = new QDataWidgetMapper(this);
  mapper_->setModel(model_);
  mapper_->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
  mapper_->addMapping(name_, model_->fieldIndex(QStringLiteral("name")));
  mapper_->addMapping(picture_, model_->fieldIndex(QStringLiteral("data")));

  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& index) {
            if (index.row() != mapper_->currentIndex()) Go(index.row());
          });
  connect(mapper_, &QDataWidgetMapper::currentIndexChanged, this, [this](int row) {
    list_->setCurrentIndex(model_->index(row, model_->fieldIndex(QStringLiteral("name"))));
    ShowStatus();
  });
  connect(picture_, &vx::TVantixDBView::imageDataChanged, this, [this] { ShowStatus(); });

  auto* right = new QVBoxLayout;
  right->addWidget(name_);
  right->addWidget(picture_, 1);
  auto* central = new QWidget;
  auto* layout = new QHBoxLayout(central);
  layout->addWidget(list_);
  layout->addLayout(right, 1);
  setCentralWidget(central);
  status_ = new QLabel;
  statusBar()->addWidget(status_, 1);
  BuildActions();
  mapper_->toFirst();
  ShowStatus();
}

CatalogueWindow::~CatalogueWindow() {
  delete mapper_;
  delete model_;
  mapper_ = nullptr;
  model_ = nullptr;
  db_.close();
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(connection_);
}

void CatalogueWindow::BuildActions() {
  QToolBar* bar = addToolBar(tr("Catalogue"));
  const auto add = [&](const QString& text, QKeySequence key, auto&& slot) {
    QAction* a = bar->addAction(text);
    a->setShortcut(key);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  add(tr("Add files..."), QKeySequence::Open, [this] { AddFilesFromDialog(); });
  add(tr("Previous"), QKeySequence(Qt::Key_PageUp), [this] { Previous(); });
  add(tr("Next"), QKeySequence(Qt::Key_PageDown), [this] { Next(); });
  bar->addSeparator();
  add(tr("Negative"), QKeySequence(), [this] { picture_->Negative(); });
  add(tr("Grey"), QKeySequence(), [this] { picture_->ConvertToGray(); });
  add(tr("Rotate 90"), QKeySequence(), [this] { picture_->Rotate(90, false); });
  add(tr("Crop to selection"), QKeySequence(), [this] { picture_->CropSel(); });
  add(tr("Undo"), QKeySequence::Undo, [this] { picture_->Undo(); });
  bar->addSeparator();
  add(tr("Save"), QKeySequence::Save, [this] {
    if (!Save()) QMessageBox::warning(this, windowTitle(), error_);
  });
  add(tr("Revert"), QKeySequence(), [this] { Revert(); });
  add(tr("Delete"), QKeySequence::Delete, [this] { DeleteCurrent(); });
}

void CatalogueWindow::AddFilesFromDialog() {
  const QStringList files = QFileDialog::getOpenFileNames(
      this, tr("Add images"), QString(),
      tr("Images (*.bmp *.ico *.cur *.pcx *.gif *.tif *.tiff *.jpg *.jpeg *.png);;All files (*)"));
  if (!files.isEmpty()) AddFiles(files);
}

int CatalogueWindow::AddFiles(const QStringList& files) {
  // Pending edits of the current record go in first, so adding never drops them.
  mapper_->submit();
  int added = 0;
  for (const QString& path : files) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    QSqlRecord record = model_->record();
    record.remove(record.indexOf(QStringLiteral("id")));
    record.setValue(QStringLiteral("name"), QFileInfo(path).fileName());
    record.setValue(QStringLiteral("data"), file.readAll());
    if (model_->insertRecord(-1, record)) ++added;
  }
  if (!model_->submitAll()) {
    error_ = model_->lastError().text();
    model_->revertAll();
    return 0;
  }
  Go(model_->rowCount() - 1);
  return added;
}

int CatalogueWindow::Count() const {
  return model_->rowCount();
}

int CatalogueWindow::Current() const {
  return mapper_->currentIndex();
}

void CatalogueWindow::Go(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  mapper_->setCurrentIndex(row);
}

void CatalogueWindow::Next() {
  mapper_->toNext();
}

void CatalogueWindow::Previous() {
  mapper_->toPrevious();
}

bool CatalogueWindow::Save() {
  const int row = mapper_->currentIndex();
  if (!mapper_->submit() || !model_->submitAll()) {
    error_ = model_->lastError().text();
    return false;
  }
  // submitAll reselects the table: come back to the record that was saved.
  Go(row);
  return true;
}

void CatalogueWindow::Revert() {
  model_->revertAll();
  mapper_->revert();
  ShowStatus();
}

bool CatalogueWindow::DeleteCurrent() {
  const int row = mapper_->currentIndex();
  if (row < 0) return false;
  if (!model_->removeRow(row) || !model_->submitAll()) {
    error_ = model_->lastError().text();
    model_->revertAll();
    return false;
  }
  Go(std::min(row, model_->rowCount() - 1));
  return true;
}

void CatalogueWindow::ShowStatus() {
  if (!status_) return;
  const int row = mapper_->currentIndex();
  QString text = row < 0 ? tr("No records") : tr("Record %1 of %2").arg(row + 1).arg(Count());
  if (row >= 0) {
    const vx::TBitmap& b = picture_->Bitmap();
    text += picture_->PictureValid() ? tr(" - %1 x %2").arg(b.Width()).arg(b.Height())
                                     : tr(" - no picture");
    if (picture_->Modified()) text += tr(" (modified)");
  }
  status_->setText(text);
}

}  // namespace vxcatalogue
