// The catalogue example driven as a user would: add files, browse, edit, save, and
// find the edit in the database when it is opened again.
#include <gtest/gtest.h>

#include <QSqlRecord>
#include <QSqlTableModel>

#include "cataloguewindow.h"
#include "facade/dbvantix.h"
#include "facadetest.h"
#include "testsupport.h"

namespace {

using vxcatalogue::CatalogueWindow;

TEST(Catalogue, AddBrowseEditSaveAndReopen) {
  const QString db = QString::fromStdString(vxtest::TempDir() + "/catalogue.sqlite");
  const vx::TBitmap png = vxtest::DecodeFile(vxtest::F().png);
  const vx::TBitmap gif = vxtest::DecodeFile(vxtest::F().gif);
  vx::TBitmap negated;
  {
    CatalogueWindow w(db);
    ASSERT_TRUE(w.Ok()) << w.LastError().toStdString();
    const QStringList files{QString::fromStdString(vxtest::F().png),
                            QString::fromStdString(vxtest::F().gif),
                            QStringLiteral("/no/such/file.png")};
    EXPECT_EQ(w.AddFiles(files), 2);
    ASSERT_EQ(w.Count(), 2);
    EXPECT_EQ(w.Current(), 1);
    EXPECT_TRUE(vxtest::SameImage(w.Picture().Bitmap(), gif));
    w.Previous();
    EXPECT_TRUE(vxtest::SameImage(w.Picture().Bitmap(), png));

    // An edit dropped by Revert leaves the record as it was.
    w.Picture().Negative();
    w.Revert();
    EXPECT_FALSE(w.Picture().Modified());
    EXPECT_TRUE(vxtest::SameImage(w.Picture().Bitmap(), png));

    w.Picture().Negative();
    negated = w.Picture().Bitmap();
    ASSERT_TRUE(w.Save()) << w.LastError().toStdString();
    EXPECT_EQ(w.Current(), 0);
    EXPECT_FALSE(w.Picture().Modified());
  }
  CatalogueWindow again(db);
  ASSERT_TRUE(again.Ok());
  ASSERT_EQ(again.Count(), 2);
  again.Go(0);
  EXPECT_TRUE(vxtest::SameImage(again.Picture().Bitmap(), negated));
  again.Go(1);
  EXPECT_EQ(again.Model().record(1).value(QStringLiteral("data")).toByteArray(),
            vxtest::FileBytesQ(vxtest::F().gif));
  EXPECT_TRUE(again.DeleteCurrent());
  EXPECT_EQ(again.Count(), 1);
}

}  // namespace
