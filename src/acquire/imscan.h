#pragma once
// Acquisition from TWAIN data sources: listing and selecting sources, reading and
// negotiating capabilities, transferring one image or a feeder's worth of pages. Each
// routine loads the source manager, uses it and unloads it again before it returns.
#include <functional>
#include <string>
#include <vector>

#include "acquire/twainparams.h"
#include "acquire/vxtwain.h"
#include "core/vxdefs.h"
#include "core/vxutils.h"

namespace vx {

class TBitmap;
class TIOParamsVals;

// Which manager the routines load.
enum class TVXTWManagerChoice {
  twmAuto,     // an installed TWAIN manager (libtwaindsm) when there is one, else the built-in
  twmBuiltin,  // always the built-in manager over SANE
};
void SetTwainManagerChoice(TVXTWManagerChoice choice);

// Called once for every page of a multi-page acquisition. The callback keeps its own
// copy of page (which is freed afterwards) and sets params to the parameter set the
// page's information goes to (or leaves it null).
using TVXTWPageCallback = std::function<void(TBitmap& page, TIOParamsVals*& params)>;

// The manager's selection dialog; true when the user chose a source (name = its
// product name).
bool VXTW_SelectImageSource(TWindowHandle window, std::string& name);
// One identity per installed source.
void VXTW_GetSourceList(std::vector<TW_IDENTITY>& list);
// Opens the selected source, sends the changed settings first when setFirst, and reads
// the capabilities into caps. False when the source could not be opened.
bool VXTW_GetCapabilities(TVXTWainParams& params, TVXTWSourceCaps& caps, bool setFirst);
// Transfers images; true when at least one arrived. Single mode fills bitmap and params;
// multi mode makes one bitmap per page and hands each to callback. Failures leave their
// reason in twain.LastError() (and in progress, except for a user's cancel).
bool VXTW_Acquire(TWindowHandle window, TBitmap* bitmap, bool multi, TProgressRec& progress,
                  TIOParamsVals* params, TVXTWainParams& twain,
                  const TVXTWPageCallback& callback = {});

// The TWAIN state the last routine reached before it closed down, and the highest
// number of pages it transferred (for tests and diagnostics).
struct TVXTWLastSession {
  int FinalState = 1;      // after unloading: always 1
  int StateAfterLoop = 1;  // the state when the transfers ended (5 after a full feeder)
  int Pages = 0;
  int CallbackCount = 0;
  bool MemoryTransfer = false;
};
const TVXTWLastSession& VXTW_LastSession();

}  // namespace vx
