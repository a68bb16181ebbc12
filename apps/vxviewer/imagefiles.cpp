#include "imagefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace vxviewer {

namespace {

struct TSaveFormat {
  const char* name;
  const char* extensions;  // the first is the one appended
};

constexpr TSaveFormat kSaveFormats[] = {
    {"PNG", "png"}, {"JPEG", "jpg jpeg"}, {"TIFF", "tif tiff"},
    {"GIF", "gif"}, {"PCX", "pcx"},       {"BMP", "bmp"},
};

QString FilterOf(const TSaveFormat& f) {
  QStringList patterns;
  for (const QString& e : QString(f.extensions).split(' ')) patterns << "*." + e;
  return QString("%1 (%2)").arg(f.name, patterns.join(' '));
}

// Compares names as people sort them: runs of digits by their value, the rest
// without regard to case; names equal that way are ordered by their exact text so the
// order is total. (QCollator's numeric mode needs a collation library the C locale
// does not have.)
int NaturalCompare(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      QStringView x = QStringView(a).mid(i, ei - i), y = QStringView(b).mid(j, ej - j);
      while (x.size() > 1 && x.front() == u'0') x = x.mid(1);
      while (y.size() > 1 && y.front() == u'0') y = y.mid(1);
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int c = x.compare(y); c != 0) return c;
      i = ei, j = ej;
      continue;
    }
    const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i, ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return a.compare(b);
}

bool NaturalLess(const QString& a, const QString& b) {
  return NaturalCompare(a, b) < 0;
}

}  // namespace

const QStringList& ReadableExtensions() {
  static const QStringList list = {"bmp", "dib",  "rle", "ico",  "cur", "pcx", "gif",
                                   "tif", "tiff", "jpg", "jpeg", "jpe", "png"};
  return list;
}

bool IsWritableExtension(const QString& extension) {
  const QString e = extension.toLower();
  for (const TSaveFormat& f : kSaveFormats)
    if (QString(f.extensions).split(' ').contains(e)) return true;
  return false;
}

QString OpenFilter() {
  QStringList patterns;
  for (const QString& e : ReadableExtensions()) patterns << "*." + e;
  return QString("Images (%1);;All files (*)").arg(patterns.join(' '));
}

QString SaveFilter() {
  QStringList filters;
  for (const TSaveFormat& f : kSaveFormats) filters << FilterOf(f);
  return filters.join(";;");
}

QString SaveFilterFor(const QString& fileName) {
  const QString e = QFileInfo(fileName).suffix().toLower();
  for (const TSaveFormat& f : kSaveFormats)
    if (QString(f.extensions).split(' ').contains(e)) return FilterOf(f);
  return {};
}

QString WithFilterExtension(const QString& fileName, const QString& filter) {
  if (fileName.isEmpty() || IsWritableExtension(QFileInfo(fileName).suffix())) return fileName;
  static const QRegularExpression firstPattern(R"(\*\.(\w+))");
  const QRegularExpressionMatch m = firstPattern.match(filter);
  if (!m.hasMatch()) return fileName;
  QString name = fileName;
  if (name.endsWith('.')) name.chop(1);  // "photo." means no extension yet
  return name + "." + m.captured(1);
}

QStringList ImageFilesInFolder(const QString& folder) {
  QStringList patterns;
  for (const QString& e : ReadableExtensions()) patterns << "*." + e;
  QDir dir(folder);
  dir.setNameFilters(patterns);
  dir.setFilter(QDir::Files | QDir::Readable);
  QStringList names = dir.entryList();  // name filters are case-insensitive here
  std::sort(names.begin(), names.end(), NaturalLess);
  QStringList paths;
  for (const QString& n : names) paths << dir.filePath(n);
  return paths;
}

QString NeighbourImage(const QString& fileName, int step) {
  if (step == 0) return {};
  const QFileInfo info(fileName);
  const QStringList files = ImageFilesInFolder(info.absolutePath());
  const QString self = info.fileName();
  // Position of the file, or where it would be.
  qsizetype at = 0;
  while (at < files.size() && NaturalLess(QFileInfo(files[at]).fileName(), self)) ++at;
  const bool present = at < files.size() && QFileInfo(files[at]).fileName() == self;
  qsizetype target = 0;
  if (step > 0)
    target = at + (present ? step : step - 1);
  else
    target = at + step;
  if (target < 0 || target >= files.size()) return {};
  return files[target];
}

}  // namespace vxviewer
