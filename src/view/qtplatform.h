#pragma once
// The Qt side of the platform layer: screen globals, the library's cursors and the
// system clipboard.
#include <QCursor>
#include <QPalette>
#include <memory>

#include "platform/clipboard.h"

namespace vx {

// Bits per pixel of the screen, and the animation dimension some applications read.
extern int gSystemColors;
extern int gAnimDim;

// Sets gSystemDPIX/gSystemDPIY (and gSystemColors) from the primary screen, the system
// colour table from the application's palette (and again whenever the palette
// changes), installs the system clipboard and the window-handle resolver. Runs once;
// every view calls it on construction, so applications need not. Needs a
// QGuiApplication.
void InitDisplayUnit();

// Fills the system colour table (clBtnFace, clWindow, clHighlight, ...) from a palette.
void ApplySystemColors(const QPalette& palette);

// The cursor registered under id (the thirteen fixed ids 1778..1790, and the
// standard negative ids of the toolkit); the arrow for an unknown id.
QCursor VXCursor(int id);
// Registers (or replaces) a cursor under id.
void RegisterCursor(int id, const QCursor& cursor);

// A clipboard that exchanges a packed DIB with other programs: written as image/bmp
// (a BMP file around the DIB) and as an image; read from image/bmp, from
// application/x-qt-image or any image the system clipboard offers.
std::unique_ptr<TClipboard> MakeSystemClipboard();

}  // namespace vx
