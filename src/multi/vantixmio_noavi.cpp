// The AVI half of the multi-image component for a build without the AVI reader and
// writer: both operations fail through Aborting with the reason.
#include "multi/vantixmio.h"

namespace vx {

void TVantixMIO::LoadFromFileAVI(const std::string&) {
  if (Begin(false)) MakeProgress().Fail("AVI: this build reads no AVI files");
}

void TVantixMIO::SaveToFileAVI(const std::string&) {
  if (Begin(true)) MakeProgress().Fail("AVI: this build writes no AVI files");
}

}  // namespace vx
