// A form drawn in Designer with the data-aware view, compiled by uic: it builds, its
// properties from the form are set, and bound to a database it shows the records. The
// properties carry stdset="0" as Designer writes them for setters not named setX, so
// uic sets them through setProperty.
#include <gtest/gtest.h>

#include <QDataWidgetMapper>
#include <QLineEdit>
#include <QSqlTableModel>

#include "dbfixture.h"
#include "facadetest.h"
#include "ui_dbform.h"

namespace {

TEST(DesignerForm, UicFormWithTheDataAwareViewRuns) {
  QWidget form;
  Ui::PictureForm ui;
  ui.setupUi(&form);
  ASSERT_NE(ui.picture, nullptr);
  EXPECT_EQ(ui.picture->DataFormat(), vx::ioBMP);  // from the form
  form.show();

  vxtest::TempCatalogue catalogue("uiform");
  QSqlTableModel model(nullptr, catalogue.Db());
  model.setTable(QStringLiteral("images"));
  model.select();
  QDataWidgetMapper mapper;
  mapper.setModel(&model);
  mapper.addMapping(ui.nameEdit, model.fieldIndex(QStringLiteral("name")));
  mapper.addMapping(ui.picture, model.fieldIndex(QStringLiteral("data")));
  mapper.toFirst();
  EXPECT_EQ(ui.nameEdit->text(), QStringLiteral("png"));
  const vx::TBitmap png = vxtest::DecodeFile(vxtest::F().png);
  EXPECT_EQ(vxtest::Grab(*ui.picture).copy(0, 0, png.Width(), png.Height()), vxtest::ToQImage(png));
  mapper.toNext();
  EXPECT_EQ(ui.nameEdit->text(), QStringLiteral("jpeg"));
  EXPECT_TRUE(vxtest::SameImage(ui.picture->Bitmap(), vxtest::DecodeFile(vxtest::F().jpeg)));
}

}  // namespace
