// VXV reader on arbitrary bytes: as a whole stream, and wrapped behind valid headers of
// the compressed and the legacy layouts so that the object parsers see the bytes too.
// Whatever loads is saved, read back and searched.
#include <string>
#include <vector>

#include "codecs/vxzlib.h"
#include "fuzz_target.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "vect/vxvstore.h"

namespace {

void PutLE32(std::vector<uint8_t>& v, uint32_t x) {
  for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(x >> (8 * k)));
}

std::vector<uint8_t> Header(const char* sig, bool doubleScale) {
  std::vector<uint8_t> v(sig, sig + 4);
  PutLE32(v, 0);
  PutLE32(v, doubleScale ? 0 : 1);
  if (doubleScale) PutLE32(v, 0x3FF00000);  // 1.0
  PutLE32(v, 0);                            // no bitmaps
  return v;
}

void Exercise(vx::TVXVObjectStore& st) {
  st.SetImageSize(1000, 800);
  (void)st.GetObjectsExtents();
  (void)st.FindNearObj(vx::kVXVRoot, 10, 20, vx::TRect{0, 0, 1000, 800});
  (void)st.ObjectsInside(vx::TRect{0, 0, 500, 500});
  vx::TMemoryStream out;
  st.SaveToStreamVXV(out);
  out.SetPosition(0);
  vx::TVXVObjectStore again;
  again.LoadFromStreamVXV(out);
}

void Load(const std::vector<uint8_t>& bytes) {
  vx::TVXVObjectStore st;
  vx::TMemoryStream s(bytes);
  try {
    st.LoadFromStreamVXV(s);
  } catch (const vx::EVXError&) {
  }
  Exercise(st);
}

int FuzzVXV(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> raw(data, data + size);
  Load(raw);

  std::vector<uint8_t> packed;
  int64_t packedBytes = 0;
  vx::CompressBuf(data, static_cast<int64_t>(size), packed, packedBytes);
  for (const char* sig : {"VXV3", "VXV4"}) {
    auto v = Header(sig, true);
    v.insert(v.end(), packed.begin(), packed.end());
    Load(v);
  }
  for (const char* sig : {"VXV1", "VXV2"}) {
    auto v = Header(sig, sig[3] == '2');
    v.insert(v.end(), raw.begin(), raw.end());
    Load(v);
  }
  // The bytes as the bitmap table of a compressed layout.
  std::vector<uint8_t> table(Header("VXV4", true));
  table.resize(table.size() - 4);
  table.insert(table.end(), raw.begin(), raw.end());
  Load(table);
  return 0;
}

const vxfuzz::Registrar registrar("vxv", FuzzVXV);

}  // namespace
