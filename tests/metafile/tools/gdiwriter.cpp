// Writes an enhanced metafile through libEMF's GDI drawing calls: the shapes, brushes,
// pens, text, clipping, bitmaps and raster operations real Windows programs record.
// Usage: vx_gdi_emf_writer OUT.emf
#include <libEMF/emf.h>

#include <cstdio>
#include <cstring>

namespace {

// A 4 x 4 24-bit bottom-up DIB whose top-left cell is red, then green, blue, white.
struct Dib {
  BITMAPINFOHEADER header;
  unsigned char bits[4 * 12];
};

Dib CheckerDib() {
  Dib d;
  std::memset(&d, 0, sizeof d);
  d.header.biSize = sizeof(BITMAPINFOHEADER);
  d.header.biWidth = 4;
  d.header.biHeight = 4;
  d.header.biPlanes = 1;
  d.header.biBitCount = 24;
  d.header.biCompression = BI_RGB;
  const unsigned char colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const int top = 3 - y;  // stored bottom-up
      const unsigned char* c = colours[((top / 2) * 2 + x / 2) % 4];
      std::memcpy(d.bits + y * 12 + x * 3, c, 3);
    }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vx_gdi_emf_writer OUT.emf\n");
    return 2;
  }
  HDC dc = CreateEnhMetaFileA(0, argv[1], nullptr, nullptr);
  if (!dc) return 1;
  // Logical picture of 400 x 300 units mapped onto the reference device.
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetWindowExtEx(dc, 400, 300, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetViewportExtEx(dc, 400, 300, nullptr);

  HPEN nullPen = static_cast<HPEN>(GetStockObject(NULL_PEN));
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  SelectObject(dc, nullPen);
  SelectObject(dc, white);
  Rectangle(dc, 0, 0, 401, 301);

  // Flat, axis-aligned fills.
  HBRUSH red = CreateSolidBrush(RGB(220, 30, 30));
  SelectObject(dc, red);
  Rectangle(dc, 10, 10, 90, 70);

  // Polygon with a hole (alternate filling) outlined by a thick pen.
  HPEN thick = CreatePen(PS_SOLID, 4, RGB(0, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(30, 60, 200));
  SelectObject(dc, thick);
  SelectObject(dc, blue);
  SetPolyFillMode(dc, ALTERNATE);
  POINT rings[8] = {{110, 10}, {190, 10}, {190, 70}, {110, 70},
                    {130, 25}, {170, 25}, {170, 55}, {130, 55}};
  INT counts[2] = {4, 4};
  PolyPolygon(dc, rings, counts, 2);

  // Ellipse with a cross hatch on an opaque background.
  LOGBRUSH hatchStyle = {BS_HATCHED, RGB(0, 120, 0), HS_CROSS};
  HBRUSH hatch = CreateBrushIndirect(&hatchStyle);
  SelectObject(dc, hatch);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(255, 255, 200));
  Ellipse(dc, 210, 10, 290, 70);

  // Arcs: a plain one and one continuing a line (ArcTo), in a thick purple pen.
  HPEN purple = CreatePen(PS_SOLID, 3, RGB(128, 0, 128));
  SelectObject(dc, purple);
  Arc(dc, 310, 10, 390, 70, 390, 40, 310, 40);
  MoveToEx(dc, 10, 130, nullptr);
  ArcTo(dc, 10, 90, 90, 170, 10, 130, 90, 130);

  // A square turned by 30 degrees through the world transform.
  SaveDC(dc);
  const float c = 0.8660254f, s = 0.5f;
  XFORM turn = {c, s, -s, c, 150, 130};
  ModifyWorldTransform(dc, &turn, MWT_LEFTMULTIPLY);
  HBRUSH orange = CreateSolidBrush(RGB(250, 150, 20));
  SelectObject(dc, nullPen);
  SelectObject(dc, orange);
  Rectangle(dc, -25, -25, 25, 25);
  RestoreDC(dc, -1);
  SelectObject(dc, purple);

  // Ellipse outline only (null brush), green.
  HPEN greenPen = CreatePen(PS_SOLID, 2, RGB(40, 180, 80));
  SelectObject(dc, greenPen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Ellipse(dc, 210, 90, 290, 170);

  // Dashed pen polyline.
  HPEN dashed = CreatePen(PS_DASH, 1, RGB(0, 0, 0));
  SelectObject(dc, dashed);
  POINT zig[4] = {{310, 160}, {330, 100}, {360, 160}, {390, 100}};
  Polyline(dc, zig, 4);

  // A Bezier path filled and stroked.
  SelectObject(dc, thick);
  HBRUSH cyan = CreateSolidBrush(RGB(0, 170, 190));
  SelectObject(dc, cyan);
  BeginPath(dc);
  MoveToEx(dc, 10, 250, nullptr);
  POINT curve[6] = {{30, 180}, {70, 180}, {90, 250}, {60, 280}, {40, 280}, {10, 250}};
  PolyBezierTo(dc, curve, 6);
  CloseFigure(dc);
  EndPath(dc);
  StrokeAndFillPath(dc);

  // A bitmap stretched from 4 x 4 to 80 x 80.
  Dib dib = CheckerDib();
  StretchDIBits(dc, 210, 190, 80, 80, 0, 0, 4, 4, dib.bits,
                reinterpret_cast<BITMAPINFO*>(&dib.header), DIB_RGB_COLORS, SRCCOPY);

  // Text, plain and turned by 90 degrees.
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  HFONT font =
      CreateFontA(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Liberation Sans");
  SelectObject(dc, font);
  SetTextAlign(dc, TA_LEFT | TA_BASELINE);
  TextOutA(dc, 300, 210, "GDI", 3);
  HFONT turned =
      CreateFontA(-18, 0, 900, 900, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Liberation Sans");
  SelectObject(dc, turned);
  SetTextColor(dc, RGB(200, 0, 0));
  TextOutA(dc, 385, 290, "up", 2);

  // Single pixels.
  for (int i = 0; i < 10; ++i) SetPixel(dc, 300 + i, 280, RGB(0, 0, 255));

  HENHMETAFILE mf = CloseEnhMetaFile(dc);
  DeleteEnhMetaFile(mf);
  return 0;
}
