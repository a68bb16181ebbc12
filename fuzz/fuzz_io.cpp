// Detection, generic stream loading and parameter-set loading on arbitrary bytes.
#include "fuzz_target.h"
#include "io/fileformats.h"
#include "io/ioparams.h"
#include "io/vantixio.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

namespace {

int FuzzIO(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  {
    vx::TMemoryStream s(bytes);
    vx::FindStreamFormat(s);
  }
  {
    vx::TMemoryStream s(bytes);
    vx::TBitmap b;
    vx::TVantixIO io;
    io.SetAttachedBitmap(&b);
    io.LoadFromStream(s);
    vx::TMemoryStream s2(bytes);
    io.SetStreamHeaders(true);
    io.LoadFromStream(s2);
    vx::TMemoryStream s3(bytes);
    io.ParamsFromStream(s3);
  }
  {
    vx::TMemoryStream s(bytes);
    vx::TIOParamsVals p;
    p.LoadFromStream(s);
  }
  return 0;
}

const vxfuzz::Registrar reg("io", FuzzIO);

}  // namespace
