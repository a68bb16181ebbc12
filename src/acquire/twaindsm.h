#pragma once
// The source manager this library uses when no TWAIN manager is installed: the same
// DSM_Entry protocol, with data sources that live in this process — the SANE devices
// of the machine, plus any source an application (or a test) registers.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquire/vxtwain.h"

namespace vx {

// One data source inside the built-in manager. The manager answers the manager
// triplets itself and hands every triplet addressed to an open source to Entry.
class TVXTWDataSource {
 public:
  virtual ~TVXTWDataSource() = default;
  // Manufacturer, product family and product name (the other fields are the manager's).
  virtual void Describe(TW_IDENTITY& identity) const = 0;
  // Opens the device; false with the reason in error.
  virtual bool Open(std::string& error) = 0;
  virtual void Close() = 0;
  // A triplet for this source (the source is open).
  virtual TW_UINT16 Entry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) = 0;
  // The message the source wants to hand the application (MSG_XFERREADY,
  // MSG_CLOSEDSREQ), or MSG_NULL; taking it removes it.
  virtual TW_UINT16 TakeMessage() = 0;
  // Condition code of the last failure, and a readable reason (SANE's own text).
  virtual TW_UINT16 ConditionCode() const = 0;
  virtual std::string LastError() const = 0;
};

// Adds sources to every later opening of the built-in manager. The provider is called
// at each opening; the returned key removes it again.
using TVXTWSourceProvider = std::function<std::vector<std::unique_ptr<TVXTWDataSource>>()>;
int AddBuiltinSourceProvider(TVXTWSourceProvider provider);
void RemoveBuiltinSourceProvider(int key);

// When false the built-in manager leaves SANE out (only registered sources remain).
void SetBuiltinSaneEnabled(bool enabled);

// The built-in manager's entry point.
TW_UINT16 BuiltinDSMEntry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data);
// The reason of the built-in manager's last failure (of the manager or of a source);
// cleared when the manager opens.
const std::string& BuiltinManagerLastError();

// ---- what the widget library supplies ----
// The widget library installs these hooks; each answers "not available" while no
// toolkit application runs. Headless, sources show no dialog and the acquisition loop
// just polls the source.
struct TVXTWSourceDialogValues {
  std::vector<double> Resolutions;  // offered values (or min, max for a range)
  bool ResolutionIsRange = false;
  double Resolution = 0;
  std::vector<int> PixelTypes;  // TWPT_ values offered
  int PixelType = TWPT_RGB;
  bool HasFeeder = false;
  bool Feeder = false;
  double MaxWidth = 0, MaxHeight = 0;  // inches
  double Frame[4] = {0, 0, 0, 0};      // left, top, right, bottom, inches
};

// The source's own dialog, shown without blocking: the source polls Finished() and
// reads the values when the user pressed Scan (Accepted true) or Cancel.
class TVXTWSourceDialog {
 public:
  virtual ~TVXTWSourceDialog() = default;
  virtual bool Finished() const = 0;
  virtual bool Accepted() const = 0;
  virtual TVXTWSourceDialogValues Values() const = 0;
};

struct TVXTWPlatformHooks {
  // Runs pending toolkit events once (waiting briefly when there are none); false when
  // no toolkit runs.
  std::function<bool()> PumpEvents;
  // Disables or enables the window (the handle VXFindHandle gives).
  std::function<void(uintptr_t window, bool enabled)> EnableWindow;
  // Gives the window the focus back after an acquisition.
  std::function<void(uintptr_t window)> FocusWindow;
  // The manager's selection dialog: index of the chosen name, -1 on cancel, -2 when no
  // dialog can be shown.
  std::function<int(uintptr_t window, const std::vector<std::string>& names, int current)>
      SelectSource;
  // The source's own dialog; nullptr when none can be shown.
  std::function<std::unique_ptr<TVXTWSourceDialog>(uintptr_t window, const std::string& title,
                                                   const TVXTWSourceDialogValues& values)>
      SourceDialog;
};
TVXTWPlatformHooks& TwainPlatformHooks();

}  // namespace vx
