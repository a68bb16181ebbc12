#pragma once
// Fixtures of the dialog tests: synthetic pictures and the files our writers make of
// them, made once per test process in its temporary folder.
#include <QString>
#include <functional>
#include <string>

#include "platform/bitmap.h"

namespace vxtest {

// A w x h true-colour picture with smooth gradients and some hard edges, so that every
// encoder setting changes the size of what it writes.
vx::TBitmap Picture(int w, int h);
// A w x h two-colour picture (pf1bit).
vx::TBitmap Bilevel(int w, int h);

// Files written once: "one.gif" (one frame), "three.gif" (three frames), "pages.tif"
// and "pages.tiff" (three pages each), "bilevel.bmp" (1 bit, 100 x 10), "photo.png".
std::string Fixture(const std::string& name);

// Runs step once the next modal dialog's event loop is running (a zero timer).
void WhenModal(std::function<void()> step);

}  // namespace vxtest
