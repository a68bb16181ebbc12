#include "acquire/imscan.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "acquire/twaindsm.h"
#include "core/arith.h"
#include "io/ioparams.h"
#include "platform/bitmap.h"
#include "proc/dibtransfer.h"

namespace vx {

namespace {

TVXTWManagerChoice gChoice = TVXTWManagerChoice::twmAuto;
TVXTWLastSession gLast;

// What a capability read gives back.
struct TCapValues {
  TW_UINT16 container = 0;
  std::vector<double> items;
  double current = 0;
  double rangeMin = 0, rangeMax = 0, rangeStep = 0;
};

double ItemNumber(TW_UINT16 type, const uint8_t* p) {
  switch (type) {
    case TWTY_INT8:
      return static_cast<int8_t>(*p);
    case TWTY_UINT8:
      return *p;
    case TWTY_INT16: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case TWTY_INT32: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case TWTY_UINT32: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case TWTY_FIX32: {
      TW_FIX32 f;
      std::memcpy(&f, p, 4);
      return FIX32ToFloat(f);
    }
    default:
      return 0;
  }
}

// A range's 32-bit slot holds its value in the item type's leading bytes.
double SlotNumber(TW_UINT16 type, TW_UINT32 slot) {
  uint8_t bytes[4];
  std::memcpy(bytes, &slot, 4);
  return ItemNumber(type, bytes);
}

// One acquisition's worth of protocol state.
class TSession {
 public:
  explicit TSession(TWindowHandle window) : parent_(window) {
    app_ = TW_IDENTITY{};
    app_.Id = 0;
    app_.Version.MajorNum = 1;
    app_.Version.MinorNum = 0;
    app_.Version.Language = TWLG_USA;
    app_.Version.Country = TWCY_USA;
    std::strcpy(app_.Version.Info, "<?>");
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 6;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(app_.Manufacturer, "<?>");
    std::strcpy(app_.ProductFamily, "<?>");
    std::strcpy(app_.ProductName, "<?>");
  }
  ~TSession() { Unwind(); }
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  int State() const { return state_; }

  // ---- transitions ----
  bool Load() {
    if (state_ != 1) return false;
    if (gChoice == TVXTWManagerChoice::twmAuto) {
      for (const char* lib : {"libtwaindsm.so", "libtwaindsm.so.2"}) {
        module_ = dlopen(lib, RTLD_NOW | RTLD_LOCAL);
        if (!module_) continue;
        entry_ = reinterpret_cast<DSMENTRYPROC>(dlsym(module_, "DSM_Entry"));
        if (entry_) break;
        dlclose(module_);  // not a manager after all
        module_ = nullptr;
      }
    }
    if (!entry_) entry_ = BuiltinDSMEntry;
    state_ = 2;
    return true;
  }

  bool OpenManager() {
    if (state_ != 2) return false;
    TW_HANDLE parent = reinterpret_cast<TW_HANDLE>(parent_);
    if (Manager(DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS) return NoteFailure(), false;
    state_ = 3;
    return true;
  }

  bool OpenSource(const std::string& name) {
    if (state_ != 3) return false;
    source_ = TW_IDENTITY{};
    if (!name.empty()) {
      TW_IDENTITY id{};
      bool found = false;
      for (TW_UINT16 rc = Manager(DAT_IDENTITY, MSG_GETFIRST, &id); rc == TWRC_SUCCESS;
           rc = Manager(DAT_IDENTITY, MSG_GETNEXT, &id))
        if (std::strncmp(id.ProductName, name.c_str(), sizeof id.ProductName) == 0) {
          found = true;
          break;
        }
      if (found) source_ = id;
    }
    // Without a match the zeroed identity opens the manager's default source.
    if (Manager(DAT_IDENTITY, MSG_OPENDS, &source_) != TWRC_SUCCESS) return NoteFailure(), false;
    state_ = 4;
    return true;
  }

  bool Enable(bool showUI) {
    if (state_ != 4) return false;
    showUI_ = showUI;
    ui_ = TW_USERINTERFACE{};
    ui_.ShowUI = showUI ? TWTRUE : 0;
    ui_.ModalUI = 0;
    ui_.hParent = reinterpret_cast<TW_HANDLE>(parent_);
    if (Source(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui_) == TWRC_FAILURE)
      return NoteFailure(), false;
    state_ = 5;
    return true;
  }

  void Disable() {
    if (state_ != 5) return;
    Source(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui_);
    state_ = 4;
  }

  void EndTransfer() {
    if (state_ == 7) {
      pending_ = TW_PENDINGXFERS{};
      Source(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending_);
      state_ = pending_.Count != 0 ? 6 : 5;
    } else if (state_ == 6) {
      pending_ = TW_PENDINGXFERS{};
      Source(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending_);
      state_ = 5;
    }
  }

  // Closes in reverse order whatever is open, down to an unloaded manager.
  void Unwind() {
    while (state_ == 7 || state_ == 6) EndTransfer();
    Disable();
    if (state_ == 4) {
      Manager(DAT_IDENTITY, MSG_CLOSEDS, &source_);
      state_ = 3;
    }
    if (state_ == 3) {
      TW_HANDLE parent = reinterpret_cast<TW_HANDLE>(parent_);
      Manager(DAT_PARENT, MSG_CLOSEDSM, &parent);
      state_ = 2;
    }
    if (state_ == 2) {
      if (module_) dlclose(module_);
      module_ = nullptr;
      entry_ = nullptr;
      state_ = 1;
    }
  }

  // ---- calls ----
  TW_UINT16 Manager(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    rc_ = entry_(&app_, nullptr, DG_CONTROL, dat, msg, data);
    return rc_;
  }
  TW_UINT16 Source(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    rc_ = entry_(&app_, &source_, dg, dat, msg, data);
    if (rc_ == TWRC_FAILURE) NoteFailure();
    return rc_;
  }

  // Containers: ours come from the built-in manager's blocks; an installed manager's
  // sources use the C heap.
  TW_HANDLE Alloc(size_t n) const { return builtin() ? TwainAlloc(n) : std::calloc(1, n); }
  void Free(TW_HANDLE h) const {
    if (builtin())
      TwainFree(h);
    else
      std::free(h);
  }
  bool builtin() const { return entry_ == BuiltinDSMEntry; }

  // Remembers why the last call failed: the built-in manager's own words (SANE's), or
  // the condition code.
  void NoteFailure() {
    if (builtin()) {
      if (!BuiltinManagerLastError().empty()) error_ = BuiltinManagerLastError();
      return;
    }
    TW_STATUS status{};
    if (entry_(&app_, state_ >= 4 ? &source_ : nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status) ==
        TWRC_SUCCESS)
      error_ = "the scanner reported condition " + std::to_string(status.ConditionCode);
  }

  // ---- capabilities ----
  bool SetCap(TW_UINT16 cap, TW_UINT16 conType, TW_HANDLE container) {
    if (!container) return false;
    TW_CAPABILITY c{cap, conType, container};
    const TW_UINT16 rc = Source(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
    Free(container);
    return rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;
  }

  bool SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 item) {
    auto* v = static_cast<TW_ONEVALUE*>(Alloc(sizeof(TW_ONEVALUE)));
    if (v) *v = TW_ONEVALUE{type, item};
    return SetCap(cap, TWON_ONEVALUE, v);
  }

  bool SetBool(TW_UINT16 cap, bool value) { return SetOne(cap, TWTY_BOOL, value ? TWTRUE : 0); }

  TW_HANDLE MakeEnum(TW_UINT16 type, const std::vector<TW_UINT32>& items, TW_UINT32 current) {
    const auto size = static_cast<size_t>(TwainItemSize(type));
    auto* e = static_cast<TW_ENUMERATION*>(
        Alloc(offsetof(TW_ENUMERATION, ItemList) + items.size() * size));
    if (!e) return nullptr;
    e->ItemType = type;
    e->NumItems = static_cast<TW_UINT32>(items.size());
    e->CurrentIndex = e->DefaultIndex = current;
    for (size_t i = 0; i < items.size(); ++i) std::memcpy(e->ItemList + i * size, &items[i], size);
    return e;
  }

  // Sends an integer list by what changed in it; true when nothing needed sending or
  // the source took it.
  bool SendIntList(TW_UINT16 cap, TVXIntegerList& list) {
    if (list.Changed() & kChangedItems) {
      std::vector<TW_UINT32> items;
      for (int i = 0; i < list.Count(); ++i)
        items.push_back(static_cast<TW_UINT16>(list.GetItem(i)));
      const int at = list.IndexOf(list.CurrentValue());
      return SetCap(cap, TWON_ENUMERATION,
                    MakeEnum(TWTY_UINT16, items, static_cast<TW_UINT32>(at < 0 ? 0 : at)));
    }
    if (list.Changed() & kChangedCurrent)
      return SetOne(cap, TWTY_UINT16, static_cast<TW_UINT16>(list.CurrentValue()));
    return true;
  }

  bool SendDoubleList(TW_UINT16 cap, TVXDoubleList& list) {
    auto fix = [](double v) { return FIX32ToItem(FloatToFIX32(v)); };
    if (list.Changed() & kChangedItems) {
      std::vector<TW_UINT32> items;
      for (int i = 0; i < list.Count(); ++i) items.push_back(fix(list.GetItem(i)));
      const int at = list.IndexOf(list.CurrentValue());
      return SetCap(cap, TWON_ENUMERATION,
                    MakeEnum(TWTY_FIX32, items, static_cast<TW_UINT32>(at < 0 ? 0 : at)));
    }
    if (list.Changed() & kChangedRange) {
      auto* r = static_cast<TW_RANGE*>(Alloc(sizeof(TW_RANGE)));
      if (r)
        *r = TW_RANGE{
            TWTY_FIX32, fix(list.RangeMin()),    fix(list.RangeMax()), fix(list.RangeStep()),
            0,          fix(list.CurrentValue())};
      return SetCap(cap, TWON_RANGE, r);
    }
    if (list.Changed() & kChangedCurrent) return SetOne(cap, TWTY_FIX32, fix(list.CurrentValue()));
    return true;
  }

  bool GetCap(TW_UINT16 cap, TCapValues& out) {
    TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
    const TW_UINT16 rc = Source(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &c);
    if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) {
      if (c.hContainer) Free(c.hContainer);
      return false;
    }
    if (!c.hContainer) return false;
    const size_t have = builtin() ? TwainSize(c.hContainer) : SIZE_MAX;
    bool ok = true;
    out = TCapValues{};
    out.container = c.ConType;
    auto listItems = [&](TW_UINT16 type, TW_UINT32 n, const uint8_t* list, size_t header) {
      const auto size = static_cast<size_t>(TwainItemSize(type));
      if (size == 0 || (have != SIZE_MAX && (have < header || (have - header) / size < n)))
        return false;
      for (TW_UINT32 i = 0; i < n; ++i) out.items.push_back(ItemNumber(type, list + i * size));
      return true;
    };
    switch (c.ConType) {
      case TWON_ONEVALUE: {
        const auto* v = static_cast<const TW_ONEVALUE*>(c.hContainer);
        out.current = SlotNumber(v->ItemType, v->Item);
        out.items.push_back(out.current);
        break;
      }
      case TWON_ENUMERATION: {
        const auto* e = static_cast<const TW_ENUMERATION*>(c.hContainer);
        ok = listItems(e->ItemType, e->NumItems, e->ItemList, offsetof(TW_ENUMERATION, ItemList));
        if (ok && e->CurrentIndex < out.items.size()) out.current = out.items[e->CurrentIndex];
        break;
      }
      case TWON_ARRAY: {
        const auto* a = static_cast<const TW_ARRAY*>(c.hContainer);
        ok = listItems(a->ItemType, a->NumItems, a->ItemList, offsetof(TW_ARRAY, ItemList));
        break;
      }
      case TWON_RANGE: {
        const auto* r = static_cast<const TW_RANGE*>(c.hContainer);
        out.rangeMin = SlotNumber(r->ItemType, r->MinValue);
        out.rangeMax = SlotNumber(r->ItemType, r->MaxValue);
        out.rangeStep = SlotNumber(r->ItemType, r->StepSize);
        out.current = SlotNumber(r->ItemType, r->CurrentValue);
        break;
      }
      default:
        ok = false;
    }
    Free(c.hContainer);
    return ok;
  }

  template <class List>
  bool ReadList(TW_UINT16 cap, List& list) {
    TCapValues v;
    list.Clear();
    if (!GetCap(cap, v)) return false;
    for (double item : v.items) list.Add(static_cast<decltype(list.GetItem(0))>(item));
    if (v.container == TWON_RANGE) {
      list.SetRangeMin(static_cast<decltype(list.GetItem(0))>(v.rangeMin));
      list.SetRangeMax(static_cast<decltype(list.GetItem(0))>(v.rangeMax));
      list.SetRangeStep(static_cast<decltype(list.GetItem(0))>(v.rangeStep));
    }
    list.SetCurrentValue(static_cast<decltype(list.GetItem(0))>(v.current));
    return true;
  }

  // Units to inches: read, then set.
  void UnitsToInches() {
    TCapValues v;
    GetCap(ICAP_UNITS, v);
    SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
  }

  // The settings, in the order sources expect them.
  void Negotiate(TVXTWSourceCaps& caps, bool buffered) {
    UnitsToInches();
    SetOne(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_CHOCOLATE);
    SendDoubleList(ICAP_XRESOLUTION, caps.XResolution);
    SendDoubleList(ICAP_YRESOLUTION, caps.YResolution);
    SendDoubleList(ICAP_XSCALING, caps.XScaling);
    SendDoubleList(ICAP_YSCALING, caps.YScaling);
    bool accepted = true;
    TVXIntegerList& pt = caps.PixelType;
    if (pt.Changed()) {
      // RGB is the richest type asked for here.
      if (pt.CurrentValue() > TWPT_RGB) pt.SetCurrentValue(TWPT_RGB);
      for (int i = 0; i < pt.Count(); ++i)
        if (pt.GetItem(i) > TWPT_RGB) pt.SetItem(i, TWPT_RGB);
      accepted = SendIntList(ICAP_PIXELTYPE, pt);
      if (accepted && pt.CurrentValue() == TWPT_GRAY)
        accepted = SetOne(ICAP_BITDEPTH, TWTY_UINT16, 8);
      if (accepted && pt.CurrentValue() == TWPT_RGB)
        accepted = SetOne(ICAP_BITDEPTH, TWTY_UINT16, 24) &&
                   SetOne(ICAP_PLANARCHUNKY, TWTY_UINT16, TWPC_CHUNKY);
    }
    memory_ = accepted && buffered && SetOne(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY);
    if (!memory_) SetOne(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE);
    SetBool(CAP_FEEDERENABLED, caps.FeederEnabled);
    SendIntList(ICAP_ORIENTATION, caps.Orientation);
    SetBool(CAP_INDICATORS, caps.Indicators);
    TW_IMAGELAYOUT layout{};
    layout.Frame = {FloatToFIX32(caps.AcquireFrame[0]), FloatToFIX32(caps.AcquireFrame[1]),
                    FloatToFIX32(caps.AcquireFrame[2]), FloatToFIX32(caps.AcquireFrame[3])};
    // An empty frame is refused by the source, which then keeps its own area.
    Source(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
  }

  void ReadCapabilities(TVXTWSourceCaps& caps) {
    UnitsToInches();
    ReadList(ICAP_XRESOLUTION, caps.XResolution);
    ReadList(ICAP_YRESOLUTION, caps.YResolution);
    for (auto [cap, list] :
         {std::pair{ICAP_XSCALING, &caps.XScaling}, std::pair{ICAP_YSCALING, &caps.YScaling}})
      if (!ReadList(cap, *list)) {
        list->Clear();
        list->Add(1.0);
        list->SetCurrentValue(1.0);
      }
    ReadList(ICAP_PIXELTYPE, caps.PixelType);
    TCapValues v;
    caps.Gamma = GetCap(ICAP_GAMMA, v) ? v.current : 2.2;
    caps.PhysicalHeight = GetCap(ICAP_PHYSICALHEIGHT, v) ? v.current : 0;
    caps.PhysicalWidth = GetCap(ICAP_PHYSICALWIDTH, v) ? v.current : 0;
    caps.FeederEnabled = GetCap(CAP_FEEDERENABLED, v) ? v.current != 0 : false;
    if (!ReadList(ICAP_ORIENTATION, caps.Orientation)) {
      caps.Orientation.Clear();
      caps.Orientation.Add(0);
    }
    caps.Indicators = GetCap(CAP_INDICATORS, v) ? v.current != 0 : true;
    TW_IMAGELAYOUT layout{};
    if (Source(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout) == TWRC_SUCCESS) {
      caps.AcquireFrame[0] = FIX32ToFloat(layout.Frame.Left);
      caps.AcquireFrame[1] = FIX32ToFloat(layout.Frame.Top);
      caps.AcquireFrame[2] = FIX32ToFloat(layout.Frame.Right);
      caps.AcquireFrame[3] = FIX32ToFloat(layout.Frame.Bottom);
    }
  }

  // ---- transfers ----
  struct TTarget {
    TBitmap* bitmap = nullptr;
    TIOParamsVals* params = nullptr;
  };

  bool GetImageInfo(TW_IMAGEINFO& info) {
    info = TW_IMAGEINFO{};
    return Source(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) == TWRC_SUCCESS;
  }

  static void FillParams(TIOParamsVals& p, const TW_IMAGEINFO& info) {
    if (info.BitsPerPixel >= 1 && info.BitsPerPixel <= 8) {
      p.BitsPerSample = info.BitsPerPixel;
      p.SamplesPerPixel = 1;
    } else if (info.BitsPerPixel == 24) {
      p.BitsPerSample = 8;
      p.SamplesPerPixel = 3;
    }
    p.DpiX = RoundI(FIX32ToFloat(info.XResolution));
    p.DpiY = RoundI(FIX32ToFloat(info.YResolution));
    p.Width = info.ImageWidth;
    p.Height = info.ImageLength;
    p.FreeColorMap();
  }

  // Copies one strip into the bitmap, keeping inside both the strip and the bitmap.
  static void CopyStrip(const TW_IMAGEMEMXFER& x, int bitsPerPixel, TBitmap& bmp,
                        size_t blockSize) {
    const uint8_t* src = static_cast<const uint8_t*>(x.Memory.TheMem);
    if (!src || x.BytesPerRow == 0) return;
    const size_t avail = std::min<size_t>(blockSize, x.BytesWritten ? x.BytesWritten : blockSize);
    const int64_t rows = std::min<int64_t>(x.Rows, static_cast<int64_t>(avail / x.BytesPerRow));
    const int64_t w = bmp.Width(), h = bmp.Height();
    if (x.XOffset >= w) return;
    const int64_t cols = std::min<int64_t>(x.Columns, w - x.XOffset);
    for (int64_t r = 0; r < rows; ++r) {
      const int64_t y = static_cast<int64_t>(x.YOffset) + r;
      if (y >= h) break;
      const uint8_t* s = src + r * x.BytesPerRow;
      uint8_t* d = bmp.ScanLine(static_cast<int>(y));
      if (bitsPerPixel == 24) {
        const int64_t n = std::min<int64_t>(cols, x.BytesPerRow / 3);
        uint8_t* o = d + x.XOffset * 3;
        for (int64_t i = 0; i < n; ++i) {
          o[i * 3] = s[i * 3 + 2];
          o[i * 3 + 1] = s[i * 3 + 1];
          o[i * 3 + 2] = s[i * 3];
        }
      } else if (bitsPerPixel == 8) {
        const int64_t n = std::min<int64_t>(cols, x.BytesPerRow);
        uint8_t* o = d + x.XOffset * 3;
        for (int64_t i = 0; i < n; ++i) o[i * 3] = o[i * 3 + 1] = o[i * 3 + 2] = s[i];
      } else if (bitsPerPixel == 1) {
        const int64_t n = std::min<int64_t>(cols, static_cast<int64_t>(x.BytesPerRow) * 8);
        int64_t i = 0;
        if (x.XOffset % 8 == 0) {
          // Byte-aligned: whole bytes at once, the ragged end bit by bit.
          std::memcpy(d + x.XOffset / 8, s, static_cast<size_t>(n / 8));
          i = n / 8 * 8;
        }
        for (; i < n; ++i) {
          const int64_t dx = x.XOffset + i;
          const auto mask = static_cast<uint8_t>(0x80 >> (dx & 7));
          if ((s[i >> 3] >> (7 - (i & 7))) & 1)
            d[dx >> 3] |= mask;
          else
            d[dx >> 3] &= static_cast<uint8_t>(~mask);
        }
      }
    }
  }

  void TransferFailed(TW_UINT16 rc) {
    state_ = rc == TWRC_CANCEL ? 7 : 6;
    if (rc == TWRC_CANCEL) cancelled_ = true;
    if (!showUI_) closeAfter_ = true;
  }

  // Transfers one image into bmp (state 6 on entry). True when it arrived whole. The
  // transfer is left for the caller to end.
  bool TransferImage(const TW_IMAGEINFO& info, TBitmap& bmp, TProgressRec& progress) {
    const bool oneBit = info.BitsPerPixel == 1;
    if (info.ImageWidth <= 0 || info.ImageLength <= 0 ||
        !SizeImage(bmp, info.ImageWidth, info.ImageLength, oneBit ? pf1bit : pf24bit, progress)) {
      if (error_.empty())
        error_ = progress.Failure && !progress.Failure->Reason.empty()
                     ? progress.Failure->Reason
                     : "the scanner announced an image of no size";
      closeAfter_ = true;
      return false;
    }
    if (memory_) return MemoryTransfer(info, bmp, progress);
    return NativeTransfer(bmp);
  }

  bool MemoryTransfer(const TW_IMAGEINFO& info, TBitmap& bmp, TProgressRec& progress) {
    TW_SETUPMEMXFER setup{};
    if (Source(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS ||
        setup.Preferred == 0) {
      closeAfter_ = true;
      return false;
    }
    std::unique_ptr<void, void (*)(void*)> block(TwainAlloc(setup.Preferred), TwainFree);
    if (!block) {
      progress.FailOutOfMemory("for the scanner's strips");
      closeAfter_ = true;
      return false;
    }
    progress.PercentPerStep = 100.0 / info.ImageLength;
    for (;;) {
      TW_IMAGEMEMXFER x{};
      x.Compression = TWON_DONTCARE16;
      x.BytesPerRow = x.Columns = x.Rows = x.XOffset = x.YOffset = x.BytesWritten = TWON_DONTCARE32;
      x.Memory.Flags = TWMF_APPOWNS | TWMF_HANDLE;
      x.Memory.Length = setup.Preferred;
      x.Memory.TheMem = block.get();
      const TW_UINT16 rc = Source(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
      if (rc == TWRC_SUCCESS) {
        state_ = 7;
        CopyStrip(x, info.BitsPerPixel, bmp, setup.Preferred);
        progress.Report(
            TruncI((static_cast<double>(x.YOffset) + x.Rows) * progress.PercentPerStep));
        if (progress.Aborted()) return false;
      } else if (rc == TWRC_XFERDONE) {
        CopyStrip(x, info.BitsPerPixel, bmp, setup.Preferred);
        progress.Report(100);
        state_ = 7;
        return true;
      } else {
        TransferFailed(rc == TWRC_CANCEL ? rc : TWRC_FAILURE);
        return false;
      }
    }
  }

  bool NativeTransfer(TBitmap& bmp) {
    TW_HANDLE dib = nullptr;
    const TW_UINT16 rc = Source(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
    if (rc == TWRC_XFERDONE) {
      state_ = 7;
      bool ok = false;
      if (dib) {
        size_t size = builtin() ? TwainSize(dib) : 0;
        if (!builtin()) {
          // An installed manager's block carries no size: trust the header.
          const auto* h = static_cast<const uint8_t*>(dib);
          int32_t w, ht;
          uint16_t bits;
          uint32_t used;
          std::memcpy(&w, h + 4, 4);
          std::memcpy(&ht, h + 8, 4);
          std::memcpy(&bits, h + 14, 2);
          std::memcpy(&used, h + 32, 4);
          const uint64_t stride = (static_cast<uint64_t>(std::abs(w)) * bits + 31) / 32 * 4;
          const uint64_t colours = bits <= 8 ? (used ? used : 1u << bits) : 0;
          size =
              static_cast<size_t>(40 + colours * 4 + stride * static_cast<uint64_t>(std::abs(ht)));
        }
        ok = CopyDIB2Bitmap(static_cast<const uint8_t*>(dib), size, bmp) != 0;
        Free(dib);
      }
      return ok;
    }
    if (dib) Free(dib);
    if (rc == TWRC_FAILURE || rc == TWRC_CANCEL)
      TransferFailed(rc);
    else
      state_ = 6;
    return false;
  }

  // ---- the acquisition ----
  bool Run(bool multi, TBitmap* bitmap, TIOParamsVals* params, TProgressRec& progress,
           const TVXTWPageCallback& callback) {
    multi_ = multi;
    bitmap_ = bitmap;
    params_ = params;
    progress_ = &progress;
    callback_ = &callback;
    auto& hooks = TwainPlatformHooks();
    if (hooks.EnableWindow) hooks.EnableWindow(parent_, false);
    char platformMessage[64] = {};
    while (state_ > 4 && !transferDone_) {
      const bool pumped = hooks.PumpEvents && hooks.PumpEvents();
      TW_EVENT event{platformMessage, MSG_NULL};
      const TW_UINT16 rc = Source(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
      if (event.TWMessage == MSG_XFERREADY) {
        state_ = 6;
        if (multi_)
          TransferPages();
        else
          TransferSingle();
        if (closeAfter_) Disable();
      } else if (event.TWMessage == MSG_CLOSEDSREQ) {
        Disable();
      } else if (rc != TWRC_DSEVENT && !pumped) {
        // Nothing drives the source but us: with no message pending none will come.
        Disable();
      } else if (progress.Aborted() && state_ == 5) {
        Disable();
      }
    }
    gLast.StateAfterLoop = state_;
    if (hooks.EnableWindow) hooks.EnableWindow(parent_, true);
    return pages_ > 0;
  }

  void TransferSingle() {
    try {
      TransferSingleImage();
    } catch (const std::bad_alloc&) {
      progress_->FailOutOfMemory("for the scanned image");
      closeAfter_ = true;
      EndTransfer();
    }
  }

  void TransferSingleImage() {
    TW_IMAGEINFO info;
    if (!GetImageInfo(info)) {
      closeAfter_ = true;
      EndTransfer();
      return;
    }
    // A failed scan must cost the caller's image nothing: it is kept aside (a copy
    // only when there is one) and put back unless a whole image arrived.
    if (bitmap_) {
      TBitmap backup;
      if (!bitmap_->Empty()) backup.Assign(*bitmap_);
      if (TransferImage(info, *bitmap_, *progress_)) {
        if (params_) FillParams(*params_, info);
        transferDone_ = true;
        ++pages_;
      } else {
        bitmap_->Assign(backup);
      }
    }
    EndTransfer();
  }

  void TransferPages() {
    try {
      TransferPageLoop();
    } catch (const std::bad_alloc&) {
      progress_->FailOutOfMemory("for a scanned page");
      closeAfter_ = true;
    }
    // An abort or a failure leaves pages unread: the source forgets them.
    while (state_ == 7 || state_ == 6) EndTransfer();
  }

  void TransferPageLoop() {
    while (!progress_->Aborted() && state_ == 6) {
      TW_IMAGEINFO info;
      if (!GetImageInfo(info)) {
        closeAfter_ = true;
        break;
      }
      TBitmap page;
      const bool ok = TransferImage(info, page, *progress_);
      if (!ok) {
        EndTransfer();
        break;
      }
      ++pages_;
      transferDone_ = true;
      TIOParamsVals* pageParams = nullptr;
      if (*callback_) {
        ++gLast.CallbackCount;
        (*callback_)(page, pageParams);
      }
      if (pageParams) FillParams(*pageParams, info);
      EndTransfer();
    }
  }

  int Pages() const { return pages_; }
  bool Memory() const { return memory_; }
  bool Cancelled() const { return cancelled_; }
  const std::string& Error() const { return error_; }

 private:
  int state_ = 1;
  void* module_ = nullptr;
  DSMENTRYPROC entry_ = nullptr;
  TWindowHandle parent_ = 0;
  TW_UINT16 rc_ = 0;
  TW_IDENTITY app_{}, source_{};
  TW_USERINTERFACE ui_{};
  bool showUI_ = false;
  TW_PENDINGXFERS pending_{};
  bool memory_ = false;
  bool transferDone_ = false;
  bool closeAfter_ = false;
  bool cancelled_ = false;
  bool multi_ = false;
  TBitmap* bitmap_ = nullptr;
  TIOParamsVals* params_ = nullptr;
  TProgressRec* progress_ = nullptr;
  const TVXTWPageCallback* callback_ = nullptr;
  int pages_ = 0;
  std::string error_;
};

void Finish(TSession& s) {
  s.Unwind();
  gLast.FinalState = s.State();
}

}  // namespace

void SetTwainManagerChoice(TVXTWManagerChoice choice) {
  gChoice = choice;
}

const TVXTWLastSession& VXTW_LastSession() {
  return gLast;
}

bool VXTW_SelectImageSource(TWindowHandle window, std::string& name) {
  TSession s(window);
  bool chosen = false;
  if (s.Load() && s.OpenManager()) {
    TW_IDENTITY id{};
    auto& select = TwainPlatformHooks().SelectSource;
    if (s.builtin() && select) {
      // The built-in manager's dialog wants the window too; without a toolkit the
      // default source is the choice.
      std::vector<TW_IDENTITY> list;
      TW_IDENTITY it{};
      std::vector<std::string> names;
      for (TW_UINT16 rc = s.Manager(DAT_IDENTITY, MSG_GETFIRST, &it); rc == TWRC_SUCCESS;
           rc = s.Manager(DAT_IDENTITY, MSG_GETNEXT, &it)) {
        list.push_back(it);
        names.emplace_back(it.ProductName, strnlen(it.ProductName, sizeof it.ProductName));
      }
      int at = names.empty() ? -1 : select(window, names, 0);
      if (at == -2) at = 0;
      if (at >= 0 && at < static_cast<int>(list.size())) {
        id = list[static_cast<size_t>(at)];
        chosen = true;
      }
    } else {
      chosen = s.Manager(DAT_IDENTITY, MSG_USERSELECT, &id) == TWRC_SUCCESS;
    }
    if (chosen) name.assign(id.ProductName, strnlen(id.ProductName, sizeof id.ProductName));
  }
  Finish(s);
  return chosen;
}

void VXTW_GetSourceList(std::vector<TW_IDENTITY>& list) {
  TSession s(0);
  if (s.Load() && s.OpenManager()) {
    TW_IDENTITY id{};
    for (TW_UINT16 rc = s.Manager(DAT_IDENTITY, MSG_GETFIRST, &id); rc == TWRC_SUCCESS;
         rc = s.Manager(DAT_IDENTITY, MSG_GETNEXT, &id))
      list.push_back(id);
  }
  Finish(s);
}

bool VXTW_GetCapabilities(TVXTWainParams& params, TVXTWSourceCaps& caps, bool setFirst) {
  const std::string name = params.GetSourceName(params.SelectedSource());
  TSession s(0);
  bool ok = false;
  if (s.Load() && s.OpenManager() && s.OpenSource(name)) {
    if (setFirst) s.Negotiate(caps, params.BufferedTransfer());
    s.ReadCapabilities(caps);
    if (!setFirst) caps.ClearChanged();
    ok = true;
  }
  params.SetLastError(ok ? std::string{} : s.Error());
  Finish(s);
  return ok;
}

bool VXTW_Acquire(TWindowHandle window, TBitmap* bitmap, bool multi, TProgressRec& progress,
                  TIOParamsVals* params, TVXTWainParams& twain, const TVXTWPageCallback& callback) {
  gLast = TVXTWLastSession{};
  const std::string name = twain.GetSourceName(twain.SelectedSource());
  TVXTWSourceCaps& caps = twain.CurrentCaps();
  TSession s(window);
  bool ok = false;
  if (s.Load() && s.OpenManager() && s.OpenSource(name)) {
    // Every opening starts the source from its defaults, so the changed settings go
    // again each time.
    s.Negotiate(caps, twain.BufferedTransfer());
    gLast.MemoryTransfer = s.Memory();
    if (s.Enable(twain.VisibleDialog())) ok = s.Run(multi, bitmap, params, progress, callback);
  }
  gLast.Pages = s.Pages();
  std::string why = s.Cancelled() ? std::string{} : s.Error();
  twain.SetLastError(why);
  if (!why.empty() && !(ok && !multi)) progress.Fail(why);
  Finish(s);
  return ok;
}

}  // namespace vx
