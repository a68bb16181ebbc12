#pragma once
// File-name helpers of the viewer: which files it opens, the filters of its dialogs,
// the neighbours of a file in its folder.
#include <QString>
#include <QStringList>

namespace vxviewer {

// Lower-case extensions (without dot) of every format the library reads.
const QStringList& ReadableExtensions();
// Whether the library can write the format of this extension.
bool IsWritableExtension(const QString& extension);

// "Images (*.bmp *.png ...);;All files (*)".
QString OpenFilter();
// One filter per writable format, "PNG (*.png)" and so on, joined by ";;".
QString SaveFilter();
// The save filter that writes the format of fileName ("" when none does).
QString SaveFilterFor(const QString& fileName);

// The name a save dialog's answer stands for: kept when it ends in an extension the
// library writes, else with the first extension of the chosen filter appended
// ("photo" with "JPEG (*.jpg *.jpeg)" gives "photo.jpg").
QString WithFilterExtension(const QString& fileName, const QString& filter);

// Readable image files of a folder, sorted as people sort them (case-insensitive,
// numbers by value: "img2" before "img10").
QStringList ImageFilesInFolder(const QString& folder);
// The image step places after (step > 0) or before fileName in its folder; empty at
// either end of the list. A file not in the list (deleted, unreadable type) counts from
// where it would sort.
QString NeighbourImage(const QString& fileName, int step);

}  // namespace vxviewer
