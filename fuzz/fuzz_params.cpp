// The parameter-set stream on arbitrary bytes: every version, truncated anywhere.
#include "fuzz_target.h"
#include "io/ioparams.h"
#include "platform/stream.h"

namespace {

int FuzzParams(const uint8_t* data, size_t size) {
  vx::TMemoryStream s(std::vector<uint8_t>(data, data + size));
  vx::TIOParamsVals p;
  p.LoadFromStream(s);
  // What was read must write back and read again.
  vx::TMemoryStream out;
  p.SaveToStream(out);
  out.SetPosition(0);
  vx::TIOParamsVals again;
  again.LoadFromStream(out);
  return 0;
}

const vxfuzz::Registrar registrar("params", FuzzParams);

}  // namespace
