// DXF import on arbitrary text: as it is, and inside HEADER and ENTITIES sections so that
// the extents and entity parsers see the bytes. The imported objects are then measured,
// searched and saved.
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "platform/stream.h"
#include "vect/vxvstore.h"

namespace {

void Import(const std::string& text, int w, int h) {
  vx::TVXVObjectStore st;
  st.SetImageSize(w, h);
  vx::TMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
  st.ImportDXFStream(s);
  (void)st.GetObjectsExtents();
  for (int32_t i : st.Root().Children) (void)st.CalcDistPtObj(i, 5, 5);
  (void)st.FindNearObj(vx::kVXVRoot, w / 2, h / 2, vx::TRect{0, 0, w, h});
  vx::TMemoryStream out;
  st.SaveToStreamVXV(out);
}

int FuzzDXF(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int w = size > 0 ? 1 + data[0] * 7 : 640;
  const int h = size > 1 ? data[1] * 5 : 480;  // 0 too
  Import(text, w, h);
  Import("0\nSECTION\n2\nENTITIES\n0\nLINE\n" + text, w, h);
  Import("0\nSECTION\n2\nENTITIES\n0\nARC\n10\n" + text, w, h);
  Import("0\nSECTION\n2\nHEADER\n9\n$EXTMIN\n10\n" + text +
             "\n0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n" + text,
         w, h);
  return 0;
}

const vxfuzz::Registrar registrar("dxf", FuzzDXF);

}  // namespace
