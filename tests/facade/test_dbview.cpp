// The data-aware view bound through QDataWidgetMapper to a BLOB column of a real
// SQLite database: it shows each record's image, leaves what it cannot show alone,
// writes edits back in its DataFormat and never writes when read-only.
#include <gtest/gtest.h>

#include <QDataWidgetMapper>
#include <QMetaProperty>
#include <QSqlTableModel>

#include "dbfixture.h"
#include "facade/dbvantix.h"
#include "facadetest.h"
#include "platform/stream.h"

namespace {

using namespace vx;
using vxtest::ImageRecords;

// A view and a mapper over a fresh database, on one record.
class Bound {
 public:
  explicit Bound(const char* name) : catalogue(name), model(nullptr, catalogue.Db()) {
    model.setTable(QStringLiteral("images"));
    model.setEditStrategy(QSqlTableModel::OnManualSubmit);
    model.select();
    view.SetBorderStyle(bsNone);
    view.resize(260, 180);
    mapper.setModel(&model);
    mapper.setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    mapper.addMapping(&view, model.fieldIndex(QStringLiteral("data")));
  }
  // Index of the record called name.
  static int Row(const std::string& name) {
    for (size_t i = 0; i < ImageRecords().size(); ++i)
      if (ImageRecords()[i].name == name) return static_cast<int>(i);
    return -1;
  }
  void Go(const std::string& name) { mapper.setCurrentIndex(Row(name)); }
  // Writes what the mapper holds to the database.
  void Save() {
    ASSERT_TRUE(mapper.submit());
    ASSERT_TRUE(model.submitAll());
  }
  QByteArray Stored(const std::string& name) { return catalogue.Stored(Row(name) + 1); }
  // The stored value is what the record had, NULL included.
  void ExpectUnchanged(const std::string& name) {
    const vxtest::ImageRecord& r = ImageRecords()[Row(name)];
    EXPECT_EQ(Stored(name), r.bytes) << name;
    EXPECT_EQ(catalogue.StoredIsNull(Row(name) + 1), r.bytes.isEmpty()) << name;
  }

  vxtest::TempCatalogue catalogue;
  QSqlTableModel model;
  TVantixDBView view;
  QDataWidgetMapper mapper;
};

TBitmap Decode(const QByteArray& bytes) {
  TBitmap b;
  TVantixIO io;
  io.SetAttachedBitmap(&b);
  TMemoryStream s;
  s.WriteBuffer(bytes.constData(), bytes.size());
  s.SetPosition(0);
  io.LoadFromStream(s);
  return b;
}

TEST(DBView, ImageDataIsTheUserPropertyWithANotifySignal) {
  TVantixDBView view;
  const QMetaProperty user = view.metaObject()->userProperty();
  EXPECT_STREQ(user.name(), "imageData");
  EXPECT_TRUE(user.hasNotifySignal());
  // Bytes in, the same bytes out; a null value of another type (how SQL models pass
  // NULL) is taken as an empty field, not refused.
  const QByteArray png = vxtest::FileBytesQ(vxtest::F().png);
  ASSERT_TRUE(view.setProperty("imageData", png));
  EXPECT_EQ(view.property("imageData").toByteArray(), png);
  EXPECT_TRUE(view.PictureValid());
  ASSERT_TRUE(view.setProperty("imageData", QVariant(QMetaType::fromType<QString>())));
  EXPECT_FALSE(view.PictureValid());
  EXPECT_TRUE(view.property("imageData").isNull());
  EXPECT_EQ(view.DataFormat(), ioPNG);
  EXPECT_FALSE(view.ReadOnly());
  EXPECT_TRUE(view.AutoDisplay());
  // A view bound to nothing yet takes an image like any other edit.
  {
    TVantixDBView fresh;
    EXPECT_TRUE(fresh.imageData().isEmpty());
    fresh.LoadFromFile(vxtest::F().gif);
    EXPECT_TRUE(fresh.Modified());
    EXPECT_TRUE(vxtest::SameImage(Decode(fresh.imageData()), fresh.Bitmap()));
  }
}

TEST(DBView, NavigationShowsEveryRecordAndChangesNone) {
  ASSERT_FALSE(vxtest::F().ico.empty());
  Bound b("navigation");
  for (const vxtest::ImageRecord& r : ImageRecords()) {
    SCOPED_TRACE(r.name);
    b.Go(r.name);
    EXPECT_EQ(b.view.imageData(), r.bytes);
    if (!r.file.empty()) {
      ASSERT_TRUE(b.view.PictureValid());
      const TBitmap expected = vxtest::DecodeFile(r.file);
      ASSERT_GT(expected.Width(), 1);
      const QImage shown = vxtest::Grab(b.view).copy(0, 0, expected.Width(), expected.Height());
      EXPECT_TRUE(shown == vxtest::ToQImage(expected));
    } else {
      // Garbage and empty fields: a blank view, nothing half-read.
      EXPECT_FALSE(b.view.PictureValid());
      EXPECT_EQ(b.view.Bitmap().Width(), 1);
      EXPECT_EQ(b.view.Bitmap().Height(), 1);
      const QImage shown = vxtest::Grab(b.view);
      EXPECT_EQ(shown.pixel(0, 0), shown.pixel(shown.width() - 1, shown.height() - 1));
    }
    EXPECT_FALSE(b.view.Modified());
    b.Save();  // writing an unchanged record is harmless
  }
  // The NULL record comes right after the garbage one: it must not inherit its bytes.
  for (const vxtest::ImageRecord& r : ImageRecords()) b.ExpectUnchanged(r.name);
}

TEST(DBView, AnEditIsWrittenBackInTheDataFormat) {
  struct Case {
    const char* record;
    int dataFormat;
    const char* magic;  // what the written bytes start with
  };
  const Case cases[] = {
      {"jpeg", ioPNG, "\x89PNG"},                                 // the default format
      {"bmp", ioUnknown, "BM"},                                   // the format it was read in
      {"gif", ioUnknown, "GIF8"}, {"ico", ioUnknown, "\x89PNG"},  // icons cannot be written: PNG
      {"garbage", ioBMP, "BM"},  // a new picture for a field that had none
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    Bound b("edit");
    b.view.SetDataFormat(c.dataFormat);
    int notified = 0;
    QObject::connect(&b.view, &TVantixDBView::imageDataChanged, [&] { ++notified; });
    b.Go(c.record);
    notified = 0;
    if (std::string(c.record) == "garbage") {
      const TBitmap sample = vxtest::SampleBitmap();
      b.view.Assign(&sample);
    }
    b.view.Rotate(90, false);
    b.view.Negative();
    EXPECT_TRUE(b.view.Modified());
    EXPECT_GT(notified, 0);
    const TBitmap edited = b.view.Bitmap();
    b.Save();

    const QByteArray stored = b.Stored(c.record);
    EXPECT_TRUE(stored.startsWith(c.magic));
    const TBitmap decoded = Decode(stored);
    if (std::string(c.record) == "gif") {
      // Written through a palette: the sizes hold, the colours are the palette's.
      EXPECT_EQ(decoded.Width(), edited.Width());
      EXPECT_EQ(decoded.Height(), edited.Height());
    } else {
      EXPECT_TRUE(vxtest::SameImage(decoded, edited));
      // A peer reads the same pixels.
      const QImage peer = QImage::fromData(stored).convertToFormat(QImage::Format_RGB888);
      EXPECT_TRUE(peer == vxtest::ToQImage(edited));
    }
    // Every other record is as it was.
    for (const vxtest::ImageRecord& r : ImageRecords()) {
      if (r.name != c.record) b.ExpectUnchanged(r.name);
    }
  }
}

TEST(DBView, ReadOnlyNeverWrites) {
  Bound b("readonly");
  b.view.SetReadOnly(true);
  for (const char* record : {"png", "garbage", "empty"}) {
    SCOPED_TRACE(record);
    b.Go(record);
    b.view.Negative();
    const TBitmap sample = vxtest::SampleBitmap();
    b.view.Assign(&sample);
    EXPECT_FALSE(b.view.Modified());
    b.Save();
    b.ExpectUnchanged(record);
  }
  // An edit made before the view turned read-only is not written either.
  b.view.SetReadOnly(false);
  b.Go("png");
  b.view.Negative();
  ASSERT_TRUE(b.view.Modified());
  b.view.SetReadOnly(true);
  b.Save();
  b.ExpectUnchanged("png");
}

TEST(DBView, WithoutAutoDisplayTheImageWaitsForLoadPicture) {
  Bound b("autodisplay");
  b.view.SetAutoDisplay(false);
  b.Go("png");
  EXPECT_FALSE(b.view.PictureLoaded());
  EXPECT_EQ(b.view.Bitmap().Width(), 1);
  // Editing the placeholder does not replace the unseen picture.
  b.view.Negative();
  EXPECT_FALSE(b.view.Modified());
  b.Save();
  b.ExpectUnchanged("png");

  b.view.LoadPicture();
  EXPECT_TRUE(b.view.PictureLoaded());
  EXPECT_TRUE(vxtest::SameImage(b.view.Bitmap(), vxtest::DecodeFile(vxtest::F().png)));
  // Turning AutoDisplay back on shows what waits.
  b.Go("bmp");
  EXPECT_FALSE(b.view.PictureLoaded());
  b.view.SetAutoDisplay(true);
  EXPECT_TRUE(vxtest::SameImage(b.view.Bitmap(), vxtest::DecodeFile(vxtest::F().bmp)));
}

TEST(DBView, NewRecordsTakeTheViewsImage) {
  Bound b("insert");
  const int row = b.model.rowCount();
  ASSERT_TRUE(b.model.insertRow(row));
  b.mapper.setCurrentIndex(row);
  b.view.LoadFromFile(vxtest::F().tiff);
  ASSERT_TRUE(b.view.Modified());
  b.Save();
  const QByteArray stored = b.catalogue.Stored(row + 1);
  EXPECT_TRUE(vxtest::SameImage(Decode(stored), vxtest::SampleBitmap()));
}

}  // namespace
