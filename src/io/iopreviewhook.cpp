#include "io/iopreviewhook.h"

#include "platform/bitmap.h"

namespace vx {

namespace {
TIOPreviewRunner& RunnerSlot() {
  static TIOPreviewRunner runner = nullptr;
  return runner;
}
}  // namespace

TIOPreviewRunner SetIOPreviewRunner(TIOPreviewRunner runner) {
  TIOPreviewRunner previous = RunnerSlot();
  RunnerSlot() = runner;
  return previous;
}

TIOPreviewRunner IOPreviewRunner() {
  return RunnerSlot();
}

bool RunIOPreviews(const TIOPreviewRequest& request) {
  const TIOPreviewRunner runner = RunnerSlot();
  if (!runner || !request.Image || !request.Params || request.Image->Empty()) return false;
  return runner(request);
}

}  // namespace vx
