#include "acquire/sanesource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/vxdefs.h"

namespace vx {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr size_t kStageBytes = 64 * 1024;
constexpr size_t kPreferredStrip = 64 * 1024;

bool SameText(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}
bool ContainsText(const std::string& s, const char* what) {
  std::string a = s, b = what;
  for (auto* t : {&a, &b})
    std::transform(t->begin(), t->end(), t->begin(),
                   [](unsigned char c) { return std::tolower(c); });
  return a.find(b) != std::string::npos;
}

bool IsFeederName(const std::string& s) {
  return ContainsText(s, "adf") || ContainsText(s, "feeder") || ContainsText(s, "automatic");
}

// Container builders. The application frees what it is given with TwainFree.
TW_HANDLE OneValue(TW_UINT16 type, TW_UINT32 item) {
  auto* v = static_cast<TW_ONEVALUE*>(TwainAlloc(sizeof(TW_ONEVALUE)));
  if (v) {
    v->ItemType = type;
    v->Item = item;
  }
  return v;
}

TW_HANDLE Enumeration(TW_UINT16 type, const std::vector<TW_UINT32>& items, size_t current) {
  const int size = TwainItemSize(type);
  auto* e = static_cast<TW_ENUMERATION*>(
      TwainAlloc(offsetof(TW_ENUMERATION, ItemList) + items.size() * static_cast<size_t>(size)));
  if (!e) return nullptr;
  e->ItemType = type;
  e->NumItems = static_cast<TW_UINT32>(items.size());
  e->CurrentIndex = e->DefaultIndex = static_cast<TW_UINT32>(current);
  for (size_t i = 0; i < items.size(); ++i) {
    if (size == 2) {
      const auto w = static_cast<TW_UINT16>(items[i]);
      std::memcpy(e->ItemList + i * 2, &w, 2);
    } else {
      std::memcpy(e->ItemList + i * 4, &items[i], 4);
    }
  }
  return e;
}

TW_HANDLE Range(TW_UINT16 type, TW_UINT32 lo, TW_UINT32 hi, TW_UINT32 step, TW_UINT32 current) {
  auto* r = static_cast<TW_RANGE*>(TwainAlloc(sizeof(TW_RANGE)));
  if (!r) return nullptr;
  r->ItemType = type;
  r->MinValue = lo;
  r->MaxValue = hi;
  r->StepSize = step;
  r->DefaultValue = current;
  r->CurrentValue = current;
  return r;
}

TW_UINT32 Fix(double v) {
  return FIX32ToItem(FloatToFIX32(v));
}

// The one value a set request asks for: the ONEVALUE's item, the ENUMERATION's current
// item or the RANGE's current value. False for anything else.
bool RequestedValue(const TW_CAPABILITY& cap, TW_UINT16& type, TW_UINT32& value) {
  if (!cap.hContainer) return false;
  auto read = [&](TW_UINT16 t, const uint8_t* p) {
    type = t;
    const int size = TwainItemSize(t);
    if (size == 1)
      value = *p;
    else if (size == 2) {
      TW_UINT16 w;
      std::memcpy(&w, p, 2);
      value = w;
    } else if (size == 4)
      std::memcpy(&value, p, 4);
    else
      return false;
    return true;
  };
  switch (cap.ConType) {
    case TWON_ONEVALUE: {
      const auto* v = static_cast<const TW_ONEVALUE*>(cap.hContainer);
      return read(v->ItemType, reinterpret_cast<const uint8_t*>(&v->Item));
    }
    case TWON_ENUMERATION: {
      const auto* e = static_cast<const TW_ENUMERATION*>(cap.hContainer);
      if (e->CurrentIndex >= e->NumItems) return false;
      return read(e->ItemType,
                  e->ItemList + e->CurrentIndex * static_cast<size_t>(TwainItemSize(e->ItemType)));
    }
    case TWON_RANGE: {
      const auto* r = static_cast<const TW_RANGE*>(cap.hContainer);
      type = r->ItemType;
      value = r->CurrentValue;
      return TwainItemSize(type) > 0;
    }
    default:
      return false;
  }
}

// A number from a request: FIX32 items are fixed point, the others integers.
double RequestedNumber(TW_UINT16 type, TW_UINT32 value) {
  if (type == TWTY_FIX32) return FIX32ToFloat(ItemToFIX32(value));
  if (type == TWTY_INT16) return static_cast<int16_t>(value);
  if (type == TWTY_INT32) return static_cast<int32_t>(value);
  return value;
}

}  // namespace

// ---- the session and the device list ----

std::unique_ptr<TSaneSession> TSaneSession::Start(std::string& error) {
  SANE_Int version = 0;
  const SANE_Status status = sane_init(&version, nullptr);
  if (status != SANE_STATUS_GOOD) {
    error = sane_strstatus(status);
    return nullptr;
  }
  return std::unique_ptr<TSaneSession>(new TSaneSession());
}

TSaneSession::~TSaneSession() {
  sane_exit();
}

std::vector<std::unique_ptr<TVXTWDataSource>> TSaneSession::Sources() const {
  std::vector<std::unique_ptr<TVXTWDataSource>> out;
  const SANE_Device** list = nullptr;
  if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list) return out;
  for (const SANE_Device** d = list; *d; ++d)
    out.push_back(std::make_unique<TSaneSource>((*d)->name ? (*d)->name : "",
                                                (*d)->vendor ? (*d)->vendor : "",
                                                (*d)->model ? (*d)->model : ""));
  return out;
}

std::string SaneProductName(const std::string& vendor, const std::string& model,
                            const std::string& device) {
  constexpr size_t kMax = 33;
  std::string head = vendor;
  if (!model.empty()) head += (head.empty() ? "" : " ") + model;
  std::string full = head.empty() ? device : head + " " + device;
  if (full.size() <= kMax) return full;
  if (device.size() + 2 >= kMax) return device.substr(0, kMax);
  head.resize(kMax - device.size() - 1);
  while (!head.empty() && head.back() == ' ') head.pop_back();
  return head + " " + device;
}

TSaneSource::TSaneSource(std::string device, std::string vendor, std::string model)
    : device_(std::move(device)), vendor_(std::move(vendor)), model_(std::move(model)) {}

TSaneSource::~TSaneSource() {
  Close();
}

void TSaneSource::Describe(TW_IDENTITY& identity) const {
  auto put = [](char(&dst)[34], const std::string& s) {
    std::memset(dst, 0, sizeof dst);
    std::memcpy(dst, s.data(), std::min(s.size(), sizeof dst - 1));
  };
  put(identity.Manufacturer, vendor_);
  put(identity.ProductFamily, model_);
  put(identity.ProductName, SaneProductName(vendor_, model_, device_));
  put(identity.Version.Info, "SANE " + device_);
}

bool TSaneSource::Open(std::string& error) {
  if (handle_) return true;
  const SANE_Status status = sane_open(device_.c_str(), &handle_);
  if (status != SANE_STATUS_GOOD) {
    handle_ = nullptr;
    error = device_ + ": " + sane_strstatus(status);
    return false;
  }
  FindOptions();
  // Memory transfer is what the protocol offers first; native is the fallback.
  xferMech_ = TWSX_NATIVE;
  indicators_ = true;
  cc_ = TWCC_SUCCESS;
  error_.clear();
  return true;
}

void TSaneSource::Close() {
  if (!handle_) return;
  Disable();
  sane_close(handle_);
  handle_ = nullptr;
}

// ---- options ----

void TSaneSource::FindOptions() {
  opt_ = TOptions{};
  SANE_Int count = 0;
  if (sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
    return;
  for (int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle_, i);
    if (!d || !d->name) continue;
    const std::string n = d->name;
    if (n == SANE_NAME_SCAN_RESOLUTION)
      opt_.resolution = i;
    else if (n == SANE_NAME_SCAN_X_RESOLUTION)
      opt_.xResolution = i;
    else if (n == SANE_NAME_SCAN_Y_RESOLUTION)
      opt_.yResolution = i;
    else if (n == SANE_NAME_SCAN_MODE)
      opt_.mode = i;
    else if (n == SANE_NAME_BIT_DEPTH)
      opt_.depth = i;
    else if (n == SANE_NAME_SCAN_SOURCE)
      opt_.source = i;
    else if (n == SANE_NAME_SCAN_TL_X)
      opt_.tlx = i;
    else if (n == SANE_NAME_SCAN_TL_Y)
      opt_.tly = i;
    else if (n == SANE_NAME_SCAN_BR_X)
      opt_.brx = i;
    else if (n == SANE_NAME_SCAN_BR_Y)
      opt_.bry = i;
  }
}

const SANE_Option_Descriptor* TSaneSource::Desc(int option) const {
  return option > 0 && handle_ ? sane_get_option_descriptor(handle_, option) : nullptr;
}

bool TSaneSource::Active(int option) const {
  const SANE_Option_Descriptor* d = Desc(option);
  return d && SANE_OPTION_IS_ACTIVE(d->cap);
}

bool TSaneSource::GetNumber(int option, double& value) const {
  const SANE_Option_Descriptor* d = Desc(option);
  if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) ||
      (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED))
    return false;
  std::vector<SANE_Word> words(
      std::max<size_t>(1, static_cast<size_t>(d->size) / sizeof(SANE_Word)));
  if (sane_control_option(handle_, option, SANE_ACTION_GET_VALUE, words.data(), nullptr) !=
      SANE_STATUS_GOOD)
    return false;
  value = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(words[0]) : words[0];
  return true;
}

SANE_Status TSaneSource::SetNumber(int option, double value, bool* inexact) {
  const SANE_Option_Descriptor* d = Desc(option);
  if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) || !SANE_OPTION_IS_SETTABLE(d->cap))
    return SANE_STATUS_UNSUPPORTED;
  if (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) return SANE_STATUS_INVAL;
  auto toWord = [&](double v) {
    return d->type == SANE_TYPE_FIXED ? SANE_FIX(v) : static_cast<SANE_Word>(std::lround(v));
  };
  SANE_Word w = toWord(value);
  // Keep to the constraint, so that a value between two offered ones still lands.
  if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
    const SANE_Range& r = *d->constraint.range;
    w = std::clamp(w, r.min, r.max);
    if (r.quant > 0) w = r.min + (w - r.min + r.quant / 2) / r.quant * r.quant;
    w = std::min(w, r.max);
  } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
    const SANE_Word* list = d->constraint.word_list;
    SANE_Word best = w;
    long long bestDist = -1;
    for (int i = 1; i <= list[0]; ++i) {
      const long long dist = std::llabs(static_cast<long long>(list[i]) - w);
      if (bestDist < 0 || dist < bestDist) bestDist = dist, best = list[i];
    }
    w = best;
  }
  std::vector<SANE_Word> words(
      std::max<size_t>(1, static_cast<size_t>(d->size) / sizeof(SANE_Word)), w);
  SANE_Int info = 0;
  const SANE_Status status =
      sane_control_option(handle_, option, SANE_ACTION_SET_VALUE, words.data(), &info);
  if (inexact) *inexact = (info & SANE_INFO_INEXACT) || w != toWord(value);
  return status;
}

std::string TSaneSource::GetString(int option) const {
  const SANE_Option_Descriptor* d = Desc(option);
  if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) || d->type != SANE_TYPE_STRING || d->size <= 0)
    return {};
  std::vector<char> text(static_cast<size_t>(d->size) + 1, 0);
  if (sane_control_option(handle_, option, SANE_ACTION_GET_VALUE, text.data(), nullptr) !=
      SANE_STATUS_GOOD)
    return {};
  return text.data();
}

SANE_Status TSaneSource::SetString(int option, const std::string& value) {
  const SANE_Option_Descriptor* d = Desc(option);
  if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) || d->type != SANE_TYPE_STRING)
    return SANE_STATUS_UNSUPPORTED;
  std::vector<char> text(std::max<size_t>(static_cast<size_t>(d->size), value.size() + 1), 0);
  std::memcpy(text.data(), value.data(), value.size());
  return sane_control_option(handle_, option, SANE_ACTION_SET_VALUE, text.data(), nullptr);
}

std::vector<std::string> TSaneSource::StringList(int option) const {
  std::vector<std::string> out;
  const SANE_Option_Descriptor* d = Desc(option);
  if (d && SANE_OPTION_IS_ACTIVE(d->cap) && d->constraint_type == SANE_CONSTRAINT_STRING_LIST &&
      d->constraint.string_list)
    for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s) out.emplace_back(*s);
  return out;
}

bool TSaneSource::DepthOffered(int depth) const {
  const SANE_Option_Descriptor* d = Desc(opt_.depth);
  if (!d || !SANE_OPTION_IS_ACTIVE(d->cap)) return false;
  if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
    for (int i = 1; i <= d->constraint.word_list[0]; ++i)
      if (d->constraint.word_list[i] == depth) return true;
    return false;
  }
  if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range)
    return depth >= d->constraint.range->min && depth <= d->constraint.range->max;
  return false;
}

// The mode entry for a pixel type: Color, Gray, or a two-level mode. An empty string
// when the device has none (for black and white the grey mode at depth 1 may still do).
std::string TSaneSource::FindMode(int pixelType) const {
  for (const std::string& m : StringList(opt_.mode)) {
    if (pixelType == TWPT_RGB &&
        (SameText(m, "Color") || SameText(m, "Colour") || SameText(m, "RGB")))
      return m;
    if (pixelType == TWPT_GRAY &&
        (SameText(m, "Gray") || SameText(m, "Grey") || SameText(m, "Grayscale")))
      return m;
    if (pixelType == TWPT_BW &&
        (SameText(m, "Lineart") || SameText(m, "Binary") || SameText(m, "Black & White")))
      return m;
  }
  return {};
}

std::string TSaneSource::FeederEntry(bool feeder) const {
  for (const std::string& s : StringList(opt_.source))
    if (IsFeederName(s) == feeder) return s;
  return {};
}

bool TSaneSource::FeederEnabled() const {
  return opt_.source > 0 && IsFeederName(GetString(opt_.source));
}

bool TSaneSource::MmOption(int option) const {
  const SANE_Option_Descriptor* d = Desc(option);
  return d && d->unit == SANE_UNIT_MM;
}

double TSaneSource::MaxExtent(int option) const {
  const SANE_Option_Descriptor* d = Desc(option);
  if (!d || d->constraint_type != SANE_CONSTRAINT_RANGE || !d->constraint.range) return 0;
  const double max =
      d->type == SANE_TYPE_FIXED ? SANE_UNFIX(d->constraint.range->max) : d->constraint.range->max;
  if (d->unit == SANE_UNIT_MM) return max / kMmPerInch;
  double res = 0;
  return GetNumber(opt_.resolution, res) && res > 0 ? max / res : 0;
}

std::vector<int> TSaneSource::PixelTypes() const {
  std::vector<int> out;
  if (!FindMode(TWPT_BW).empty() || (!FindMode(TWPT_GRAY).empty() && DepthOffered(1)))
    out.push_back(TWPT_BW);
  if (!FindMode(TWPT_GRAY).empty()) out.push_back(TWPT_GRAY);
  if (!FindMode(TWPT_RGB).empty()) out.push_back(TWPT_RGB);
  return out;
}

int TSaneSource::CurrentPixelType() const {
  const std::string mode = GetString(opt_.mode);
  if (!mode.empty()) {
    if (mode == FindMode(TWPT_RGB)) return TWPT_RGB;
    if (mode == FindMode(TWPT_BW)) return TWPT_BW;
  }
  double depth = 8;
  GetNumber(opt_.depth, depth);
  if (mode.empty()) {
    SANE_Parameters p{};
    if (sane_get_parameters(handle_, &p) == SANE_STATUS_GOOD && p.format == SANE_FRAME_RGB)
      return TWPT_RGB;
  }
  return depth == 1 ? TWPT_BW : TWPT_GRAY;
}

TW_UINT16 TSaneSource::SetPixelType(int type) {
  const std::vector<int> offered = PixelTypes();
  if (std::find(offered.begin(), offered.end(), type) == offered.end())
    return Refuse(TWCC_BADVALUE);
  std::string mode = FindMode(type);
  int depth = type == TWPT_BW ? 1 : 8;
  if (type == TWPT_BW && mode.empty()) mode = FindMode(TWPT_GRAY);
  if (!mode.empty() && SetString(opt_.mode, mode) != SANE_STATUS_GOOD) return Refuse(TWCC_BADVALUE);
  // A two-level mode has its own depth; the others want 8 bits a sample (or 1 for the
  // grey mode standing in for black and white).
  if (Active(opt_.depth) && !(type == TWPT_BW && mode == FindMode(TWPT_BW) && !mode.empty() &&
                              FindMode(TWPT_BW) != FindMode(TWPT_GRAY)))
    if (DepthOffered(depth)) SetNumber(opt_.depth, depth);
  return TWRC_SUCCESS;
}

// ---- capabilities ----

TW_UINT16 TSaneSource::Capability(TW_UINT16 msg, TW_CAPABILITY& cap) {
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT:
      return GetCap(cap);
    case MSG_SET:
      return SetCap(cap);
    case MSG_RESET:
      return GetCap(cap);
    default:
      return Refuse(TWCC_CAPBADOPERATION);
  }
}

TW_UINT16 TSaneSource::ResolutionCap(int option, TW_CAPABILITY& cap) {
  const SANE_Option_Descriptor* d = Desc(option);
  double current = 0;
  if (!d || !GetNumber(option, current)) return Refuse(TWCC_CAPUNSUPPORTED);
  auto unfix = [&](SANE_Word w) { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w; };
  if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
    const SANE_Range& r = *d->constraint.range;
    cap.ConType = TWON_RANGE;
    cap.hContainer = Range(TWTY_FIX32, Fix(unfix(r.min)), Fix(unfix(r.max)),
                           Fix(r.quant > 0 ? unfix(r.quant) : 1.0), Fix(current));
  } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
    std::vector<TW_UINT32> items;
    size_t index = 0;
    for (int i = 1; i <= d->constraint.word_list[0]; ++i) {
      const double v = unfix(d->constraint.word_list[i]);
      if (std::fabs(v - current) < 1e-6) index = items.size();
      items.push_back(Fix(v));
    }
    cap.ConType = TWON_ENUMERATION;
    cap.hContainer = Enumeration(TWTY_FIX32, items, index);
  } else {
    cap.ConType = TWON_ONEVALUE;
    cap.hContainer = OneValue(TWTY_FIX32, Fix(current));
  }
  return cap.hContainer ? TWRC_SUCCESS : Refuse(TWCC_LOWMEMORY);
}

int TSaneSource::OutBitsPerPixel() const {
  if (params_.format == SANE_FRAME_RGB) return 24;
  return params_.depth == 1 ? 1 : 8;
}

TW_UINT16 TSaneSource::GetCap(TW_CAPABILITY& cap) {
  cap.hContainer = nullptr;
  auto one = [&](TW_UINT16 type, TW_UINT32 v) {
    cap.ConType = TWON_ONEVALUE;
    cap.hContainer = OneValue(type, v);
    return cap.hContainer ? TWRC_SUCCESS : Refuse(TWCC_LOWMEMORY);
  };
  auto list = [&](TW_UINT16 type, const std::vector<TW_UINT32>& items, TW_UINT32 current) {
    const auto at = std::find(items.begin(), items.end(), current);
    cap.ConType = TWON_ENUMERATION;
    cap.hContainer =
        Enumeration(type, items, at == items.end() ? 0 : static_cast<size_t>(at - items.begin()));
    return cap.hContainer ? TWRC_SUCCESS : Refuse(TWCC_LOWMEMORY);
  };
  switch (cap.Cap) {
    case ICAP_UNITS:
      return list(TWTY_UINT16, {TWUN_INCHES}, TWUN_INCHES);
    case ICAP_PIXELFLAVOR:
      return one(TWTY_UINT16, TWPF_CHOCOLATE);
    case ICAP_PLANARCHUNKY:
      return one(TWTY_UINT16, TWPC_CHUNKY);
    case ICAP_COMPRESSION:
      return one(TWTY_UINT16, TWCP_NONE);
    case ICAP_XFERMECH:
      return list(TWTY_UINT16, {TWSX_NATIVE, TWSX_MEMORY}, xferMech_);
    case CAP_XFERCOUNT:
      return one(TWTY_INT16, 0xffff);
    case ICAP_XRESOLUTION:
      return ResolutionCap(Active(opt_.xResolution) ? opt_.xResolution : opt_.resolution, cap);
    case ICAP_YRESOLUTION:
      return ResolutionCap(Active(opt_.yResolution) ? opt_.yResolution : opt_.resolution, cap);
    case ICAP_PIXELTYPE: {
      std::vector<TW_UINT32> items;
      for (int t : PixelTypes()) items.push_back(static_cast<TW_UINT32>(t));
      if (items.empty()) return one(TWTY_UINT16, static_cast<TW_UINT32>(CurrentPixelType()));
      return list(TWTY_UINT16, items, static_cast<TW_UINT32>(CurrentPixelType()));
    }
    case ICAP_BITDEPTH: {
      const int t = CurrentPixelType();
      return one(TWTY_UINT16, t == TWPT_RGB ? 24 : t == TWPT_GRAY ? 8 : 1);
    }
    case CAP_FEEDERENABLED:
      if (FeederEntry(true).empty()) return Refuse(TWCC_CAPUNSUPPORTED);
      return one(TWTY_BOOL, FeederEnabled() ? TWTRUE : 0);
    case CAP_INDICATORS:
      return one(TWTY_BOOL, indicators_ ? TWTRUE : 0);
    case ICAP_PHYSICALWIDTH: {
      const double w = MaxExtent(opt_.brx);
      return w > 0 ? one(TWTY_FIX32, Fix(w)) : Refuse(TWCC_CAPUNSUPPORTED);
    }
    case ICAP_PHYSICALHEIGHT: {
      const double h = MaxExtent(opt_.bry);
      return h > 0 ? one(TWTY_FIX32, Fix(h)) : Refuse(TWCC_CAPUNSUPPORTED);
    }
    default:
      return Refuse(TWCC_CAPUNSUPPORTED);
  }
}

TW_UINT16 TSaneSource::SetCap(TW_CAPABILITY& cap) {
  TW_UINT16 type = 0;
  TW_UINT32 value = 0;
  if (!RequestedValue(cap, type, value)) return Refuse(TWCC_BADVALUE);
  const double number = RequestedNumber(type, value);
  switch (cap.Cap) {
    case ICAP_UNITS:
      return value == TWUN_INCHES ? TWRC_SUCCESS : Refuse(TWCC_BADVALUE);
    case ICAP_PIXELFLAVOR:
      return value == TWPF_CHOCOLATE ? TWRC_SUCCESS : Refuse(TWCC_BADVALUE);
    case ICAP_PLANARCHUNKY:
      return value == TWPC_CHUNKY ? TWRC_SUCCESS : Refuse(TWCC_BADVALUE);
    case ICAP_XFERMECH:
      if (value != TWSX_NATIVE && value != TWSX_MEMORY) return Refuse(TWCC_BADVALUE);
      xferMech_ = static_cast<TW_UINT16>(value);
      return TWRC_SUCCESS;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      int option = cap.Cap == ICAP_XRESOLUTION ? opt_.xResolution : opt_.yResolution;
      if (!Active(option)) option = opt_.resolution;
      if (number <= 0) return Refuse(TWCC_BADVALUE);
      bool inexact = false;
      if (SetNumber(option, number, &inexact) != SANE_STATUS_GOOD) return Refuse(TWCC_BADVALUE);
      return inexact ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
    }
    case ICAP_PIXELTYPE:
      return SetPixelType(static_cast<int>(value));
    case ICAP_BITDEPTH: {
      const int t = CurrentPixelType();
      const TW_UINT32 depth = t == TWPT_RGB ? 24 : t == TWPT_GRAY ? 8 : 1;
      return value == depth ? TWRC_SUCCESS : Refuse(TWCC_BADVALUE);
    }
    case CAP_FEEDERENABLED: {
      const std::string entry = FeederEntry(value != 0);
      if (FeederEntry(true).empty()) return Refuse(TWCC_CAPUNSUPPORTED);
      if (entry.empty() || SetString(opt_.source, entry) != SANE_STATUS_GOOD)
        return Refuse(TWCC_BADVALUE);
      return TWRC_SUCCESS;
    }
    case CAP_INDICATORS:
      indicators_ = value != 0;
      return TWRC_SUCCESS;
    default:
      return Refuse(TWCC_CAPUNSUPPORTED);
  }
}

// ---- layout: SANE's scan area in millimetres, the protocol's frame in inches ----

TW_UINT16 TSaneSource::GetLayout(TW_IMAGELAYOUT& layout) {
  double v[4] = {0, 0, 0, 0};
  const int options[4] = {opt_.tlx, opt_.tly, opt_.brx, opt_.bry};
  double res = 0;
  GetNumber(opt_.resolution, res);
  for (int i = 0; i < 4; ++i) {
    if (!GetNumber(options[i], v[i])) return Refuse(TWCC_CAPUNSUPPORTED);
    v[i] = MmOption(options[i]) ? v[i] / kMmPerInch : (res > 0 ? v[i] / res : 0);
  }
  layout = TW_IMAGELAYOUT{};
  layout.Frame = {FloatToFIX32(v[0]), FloatToFIX32(v[1]), FloatToFIX32(v[2]), FloatToFIX32(v[3])};
  layout.DocumentNumber = layout.PageNumber = layout.FrameNumber = 1;
  return TWRC_SUCCESS;
}

TW_UINT16 TSaneSource::SetLayout(const TW_IMAGELAYOUT& layout) {
  const double v[4] = {FIX32ToFloat(layout.Frame.Left), FIX32ToFloat(layout.Frame.Top),
                       FIX32ToFloat(layout.Frame.Right), FIX32ToFloat(layout.Frame.Bottom)};
  // An empty frame asks for nothing: the source keeps its own area.
  if (v[2] <= v[0] || v[3] <= v[1] || v[0] < 0 || v[1] < 0) return Refuse(TWCC_BADVALUE);
  const int options[4] = {opt_.tlx, opt_.tly, opt_.brx, opt_.bry};
  for (int option : options)
    if (!Active(option)) return Refuse(TWCC_CAPUNSUPPORTED);
  double res = 0;
  GetNumber(opt_.resolution, res);
  bool anyInexact = false;
  // The far corner first, so that a frame moved past the old one is never inverted.
  for (int i : {2, 3, 0, 1}) {
    const double value = MmOption(options[i]) ? v[i] * kMmPerInch : v[i] * res;
    bool inexact = false;
    if (SetNumber(options[i], value, &inexact) != SANE_STATUS_GOOD) return Refuse(TWCC_BADVALUE);
    anyInexact |= inexact;
  }
  return anyInexact ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
}

// ---- enabling, the dialog and pages ----

TW_UINT16 TSaneSource::TakeMessage() {
  PollDialog();
  const TW_UINT16 m = message_;
  message_ = MSG_NULL;
  return m;
}

TW_UINT16 TSaneSource::Enable(const TW_USERINTERFACE& ui) {
  if (enabled_) return Refuse(TWCC_SEQERROR);
  enabled_ = true;
  stopFeeding_ = false;
  cc_ = TWCC_SUCCESS;
  error_.clear();
  auto& makeDialog = TwainPlatformHooks().SourceDialog;
  if (ui.ShowUI && makeDialog) {
    TVXTWSourceDialogValues v;
    const SANE_Option_Descriptor* d = Desc(opt_.resolution);
    if (d && d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
      v.ResolutionIsRange = true;
      const auto unfix = [&](SANE_Word w) {
        return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : w;
      };
      v.Resolutions = {unfix(d->constraint.range->min), unfix(d->constraint.range->max)};
    } else if (d && d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
      for (int i = 1; i <= d->constraint.word_list[0]; ++i)
        v.Resolutions.push_back(d->type == SANE_TYPE_FIXED ? SANE_UNFIX(d->constraint.word_list[i])
                                                           : d->constraint.word_list[i]);
    }
    GetNumber(opt_.resolution, v.Resolution);
    v.PixelTypes = PixelTypes();
    v.PixelType = CurrentPixelType();
    v.HasFeeder = !FeederEntry(true).empty();
    v.Feeder = FeederEnabled();
    v.MaxWidth = MaxExtent(opt_.brx);
    v.MaxHeight = MaxExtent(opt_.bry);
    TW_IMAGELAYOUT layout{};
    if (GetLayout(layout) == TWRC_SUCCESS) {
      v.Frame[0] = FIX32ToFloat(layout.Frame.Left);
      v.Frame[1] = FIX32ToFloat(layout.Frame.Top);
      v.Frame[2] = FIX32ToFloat(layout.Frame.Right);
      v.Frame[3] = FIX32ToFloat(layout.Frame.Bottom);
    }
    dialog_ = makeDialog(reinterpret_cast<uintptr_t>(ui.hParent),
                         SaneProductName(vendor_, model_, device_), v);
  }
  if (!dialog_) message_ = StartPage() ? MSG_XFERREADY : MSG_CLOSEDSREQ;
  return TWRC_SUCCESS;
}

void TSaneSource::PollDialog() {
  if (!dialog_ || !dialog_->Finished()) return;
  const bool accepted = dialog_->Accepted();
  if (accepted) ApplyDialog();
  dialog_.reset();
  uiSession_ = accepted;
  message_ = accepted && StartPage() ? MSG_XFERREADY : MSG_CLOSEDSREQ;
}

void TSaneSource::ApplyDialog() {
  const TVXTWSourceDialogValues v = dialog_->Values();
  if (v.Resolution > 0) {
    SetNumber(opt_.resolution, v.Resolution);
    if (Active(opt_.xResolution)) SetNumber(opt_.xResolution, v.Resolution);
    if (Active(opt_.yResolution)) SetNumber(opt_.yResolution, v.Resolution);
  }
  SetPixelType(v.PixelType);
  if (v.HasFeeder) {
    const std::string entry = FeederEntry(v.Feeder);
    if (!entry.empty()) SetString(opt_.source, entry);
  }
  TW_IMAGELAYOUT layout{};
  layout.Frame = {FloatToFIX32(v.Frame[0]), FloatToFIX32(v.Frame[1]), FloatToFIX32(v.Frame[2]),
                  FloatToFIX32(v.Frame[3])};
  SetLayout(layout);
}

void TSaneSource::Disable() {
  dialog_.reset();
  uiSession_ = false;
  EndPage();
  message_ = MSG_NULL;
  enabled_ = false;
}

TW_UINT16 TSaneSource::DeviceFailure(SANE_Status status) {
  error_ = sane_strstatus(status);
  stopFeeding_ = true;
  switch (status) {
    case SANE_STATUS_CANCELLED:
      cc_ = TWCC_SUCCESS;
      return TWRC_CANCEL;
    case SANE_STATUS_JAMMED:
      cc_ = TWCC_PAPERJAM;
      break;
    case SANE_STATUS_NO_MEM:
      cc_ = TWCC_LOWMEMORY;
      break;
    case SANE_STATUS_ACCESS_DENIED:
      cc_ = TWCC_DENIED;
      break;
    case SANE_STATUS_COVER_OPEN:
    case SANE_STATUS_DEVICE_BUSY:
      cc_ = TWCC_CHECKDEVICEONLINE;
      break;
    case SANE_STATUS_INVAL:
    case SANE_STATUS_UNSUPPORTED:
      cc_ = TWCC_BUMMER;
      break;
    default:
      cc_ = TWCC_OPERATIONERROR;
      break;
  }
  return TWRC_FAILURE;
}

bool TSaneSource::StartPage(bool nextSheet) {
  // A further sheet of the feeder continues the batch: no cancel in between.
  if (!nextSheet) {
    EndPage();
    feeding_ = FeederEnabled();
    // Read before starting: some backends refuse option reads while they scan.
    xres_ = yres_ = 0;
    GetNumber(Active(opt_.xResolution) ? opt_.xResolution : opt_.resolution, xres_);
    GetNumber(Active(opt_.yResolution) ? opt_.yResolution : opt_.resolution, yres_);
  }
  SANE_Status status = sane_start(handle_);
  if (status == SANE_STATUS_GOOD) status = sane_get_parameters(handle_, &params_);
  if (status != SANE_STATUS_GOOD) {
    if (!(nextSheet && status == SANE_STATUS_NO_DOCS)) DeviceFailure(status);
    sane_cancel(handle_);
    return false;
  }
  const bool known =
      (params_.format == SANE_FRAME_GRAY &&
       (params_.depth == 1 || params_.depth == 8 || params_.depth == 16)) ||
      (params_.format == SANE_FRAME_RGB && (params_.depth == 8 || params_.depth == 16));
  if (!known || params_.pixels_per_line <= 0 || params_.bytes_per_line <= 0) {
    error_ = "the scanner sends a kind of image this program does not read";
    cc_ = TWCC_BUMMER;
    stopFeeding_ = true;
    sane_cancel(handle_);
    return false;
  }
  pageStarted_ = true;
  pageDone_ = false;
  rowsDone_ = 0;
  deferred_ = SANE_STATUS_GOOD;
  stage_.resize(std::max(kStageBytes, static_cast<size_t>(params_.bytes_per_line)));
  stagePos_ = stageLen_ = 0;
  line_.resize(static_cast<size_t>(params_.bytes_per_line));
  whole_.clear();
  lines_ = params_.lines;
  if (lines_ < 0) {
    // The device does not know the length in advance (a hand scanner): read the whole
    // image first, so that the application can size its bitmap.
    std::vector<uint8_t> chunk(kStageBytes);
    for (;;) {
      SANE_Int got = 0;
      status = sane_read(handle_, chunk.data(), static_cast<SANE_Int>(chunk.size()), &got);
      if (status != SANE_STATUS_GOOD) break;
      whole_.insert(whole_.end(), chunk.begin(), chunk.begin() + got);
      const uint64_t rows = whole_.size() / static_cast<size_t>(params_.bytes_per_line);
      if (rows * static_cast<uint64_t>(params_.pixels_per_line) > MaxImagePixels() &&
          MaxImagePixels()) {
        status = SANE_STATUS_NO_MEM;
        break;
      }
    }
    if (status != SANE_STATUS_EOF) {
      DeviceFailure(status);
      EndPage();
      return false;
    }
    lines_ = static_cast<int>(whole_.size() / static_cast<size_t>(params_.bytes_per_line));
    stage_.swap(whole_);
    stageLen_ = stage_.size();
    whole_.assign(1, 0);  // marks the page as read ahead
  }
  return true;
}

void TSaneSource::EndPage() {
  if (pageStarted_) sane_cancel(handle_);
  pageStarted_ = false;
  whole_.clear();
}

SANE_Status TSaneSource::ReadLine(uint8_t* line) {
  const size_t want = static_cast<size_t>(params_.bytes_per_line);
  size_t have = 0;
  while (have < want) {
    if (stagePos_ == stageLen_) {
      if (!whole_.empty()) return SANE_STATUS_EOF;
      SANE_Int got = 0;
      const SANE_Status status =
          sane_read(handle_, stage_.data(), static_cast<SANE_Int>(stage_.size()), &got);
      if (status != SANE_STATUS_GOOD) return status;
      stagePos_ = 0;
      stageLen_ = static_cast<size_t>(got);
      continue;
    }
    const size_t n = std::min(want - have, stageLen_ - stagePos_);
    std::memcpy(line + have, stage_.data() + stagePos_, n);
    have += n;
    stagePos_ += n;
  }
  return SANE_STATUS_GOOD;
}

size_t TSaneSource::OutRowBytes() const {
  const size_t w = static_cast<size_t>(params_.pixels_per_line);
  const int bpp = OutBitsPerPixel();
  return bpp == 24 ? w * 3 : bpp == 8 ? w : (w + 7) / 8;
}

// One SANE line to the protocol's row: RGB or grey bytes, 16-bit samples cut to their
// high byte, and two-level rows inverted (SANE's 1 is black; here 0 is the dark shade).
void TSaneSource::ConvertLine(const uint8_t* line, uint8_t* out) const {
  const size_t n = OutRowBytes();
  if (params_.depth == 16) {
    for (size_t i = 0; i < n; ++i) {
      uint16_t s;
      std::memcpy(&s, line + i * 2, 2);
      out[i] = static_cast<uint8_t>(s >> 8);
    }
  } else if (params_.depth == 1) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(~line[i]);
  } else {
    std::memcpy(out, line, n);
  }
}

TW_UINT16 TSaneSource::ImageInfo(TW_IMAGEINFO& info) const {
  info = TW_IMAGEINFO{};
  info.XResolution = FloatToFIX32(xres_);
  info.YResolution = FloatToFIX32(yres_);
  info.ImageWidth = params_.pixels_per_line;
  info.ImageLength = lines_;
  const int bpp = OutBitsPerPixel();
  info.SamplesPerPixel = bpp == 24 ? 3 : 1;
  for (int i = 0; i < info.SamplesPerPixel; ++i)
    info.BitsPerSample[i] = static_cast<TW_INT16>(bpp == 1 ? 1 : 8);
  info.BitsPerPixel = static_cast<TW_INT16>(bpp);
  info.Planar = 0;
  info.PixelType = static_cast<TW_INT16>(bpp == 24 ? TWPT_RGB : bpp == 8 ? TWPT_GRAY : TWPT_BW);
  info.Compression = TWCP_NONE;
  return TWRC_SUCCESS;
}

TW_UINT16 TSaneSource::MemoryStrip(TW_IMAGEMEMXFER& xfer) {
  if (xferMech_ != TWSX_MEMORY) return Refuse(TWCC_SEQERROR);
  const size_t rowBytes = OutRowBytes();
  if (!xfer.Memory.TheMem || xfer.Memory.Length < rowBytes) return Refuse(TWCC_BADVALUE);
  if (deferred_ != SANE_STATUS_GOOD) return DeviceFailure(deferred_);
  const size_t room = xfer.Memory.Length / rowBytes;
  auto* out = static_cast<uint8_t*>(xfer.Memory.TheMem);
  size_t rows = 0;
  bool ended = false;
  while (rows < room && rowsDone_ + static_cast<int>(rows) < lines_) {
    const SANE_Status status = ReadLine(line_.data());
    if (status == SANE_STATUS_EOF) {
      ended = true;
      break;
    }
    if (status != SANE_STATUS_GOOD) {
      if (rows == 0) return DeviceFailure(status);
      deferred_ = status;  // hand over what arrived, fail on the next strip
      break;
    }
    ConvertLine(line_.data(), out + rows * rowBytes);
    ++rows;
  }
  xfer.Compression = TWCP_NONE;
  xfer.BytesPerRow = static_cast<TW_UINT32>(rowBytes);
  xfer.Columns = static_cast<TW_UINT32>(params_.pixels_per_line);
  xfer.Rows = static_cast<TW_UINT32>(rows);
  xfer.XOffset = 0;
  xfer.YOffset = static_cast<TW_UINT32>(rowsDone_);
  xfer.BytesWritten = static_cast<TW_UINT32>(rows * rowBytes);
  rowsDone_ += static_cast<int>(rows);
  if (ended || rowsDone_ >= lines_) {
    pageDone_ = true;
    return TWRC_XFERDONE;
  }
  return TWRC_SUCCESS;
}

TW_UINT16 TSaneSource::NativeImage(TW_HANDLE* out) {
  if (!out) return Refuse(TWCC_BADVALUE);
  *out = nullptr;
  const int w = params_.pixels_per_line, h = lines_;
  const int bpp = OutBitsPerPixel();
  const uint64_t stride = (static_cast<uint64_t>(w) * static_cast<uint64_t>(bpp) + 31) / 32 * 4;
  const uint32_t colours = bpp == 24 ? 0 : bpp == 8 ? 256 : 2;
  const uint64_t size = 40 + colours * 4ull + stride * static_cast<uint64_t>(h);
  if ((MaxImagePixels() &&
       static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > MaxImagePixels()) ||
      size > 0x7fffffffu)
    return Refuse(TWCC_LOWMEMORY);
  auto* dib = static_cast<uint8_t*>(TwainAlloc(static_cast<size_t>(size)));
  if (!dib) return Refuse(TWCC_LOWMEMORY);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(dib + at, &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(dib + at, &v, 2); };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(w));
  put32(8, static_cast<uint32_t>(h));  // bottom-up
  put16(12, 1);
  put16(14, static_cast<uint16_t>(bpp));
  put32(20, static_cast<uint32_t>(stride * static_cast<uint64_t>(h)));
  put32(24, static_cast<uint32_t>(std::lround(xres_ / 0.0254)));
  put32(28, static_cast<uint32_t>(std::lround(yres_ / 0.0254)));
  put32(32, colours);
  put32(36, colours);
  for (uint32_t i = 0; i < colours; ++i) {
    const auto g = static_cast<uint8_t>(colours == 2 ? i * 255 : i);
    const uint8_t q[4] = {g, g, g, 0};
    std::memcpy(dib + 40 + i * 4, q, 4);
  }
  uint8_t* bits = dib + 40 + colours * 4;
  std::vector<uint8_t> row(OutRowBytes());
  for (int y = 0; y < h; ++y) {
    const SANE_Status status = ReadLine(line_.data());
    if (status == SANE_STATUS_EOF) break;
    if (status != SANE_STATUS_GOOD) {
      TwainFree(dib);
      return DeviceFailure(status);
    }
    ConvertLine(line_.data(), row.data());
    uint8_t* dst = bits + static_cast<uint64_t>(h - 1 - y) * stride;
    if (bpp == 24)
      for (int x = 0; x < w; ++x) {
        dst[x * 3] = row[static_cast<size_t>(x) * 3 + 2];
        dst[x * 3 + 1] = row[static_cast<size_t>(x) * 3 + 1];
        dst[x * 3 + 2] = row[static_cast<size_t>(x) * 3];
      }
    else
      std::memcpy(dst, row.data(), row.size());
  }
  pageDone_ = true;
  *out = dib;
  return TWRC_XFERDONE;
}

TW_UINT16 TSaneSource::PendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS& pending) {
  pending.Count = 0;
  if (msg == MSG_GET) {
    pending.Count = pageStarted_ ? 1 : 0;
    return TWRC_SUCCESS;
  }
  if (msg == MSG_RESET) {
    stopFeeding_ = true;
    EndBatch();
    return TWRC_SUCCESS;
  }
  if (msg != MSG_ENDXFER) return Refuse(TWCC_BADPROTOCOL);
  const bool next = pageDone_ && !stopFeeding_ && feeding_;
  if (!next) {
    EndBatch();
    return TWRC_SUCCESS;
  }
  // The feeder goes on while it has paper: the next sheet starts now, and an empty
  // feeder ends the batch.
  pageStarted_ = false;
  if (StartPage(true))
    pending.Count = 1;
  else
    EndBatch();
  return TWRC_SUCCESS;
}

// No more images: a session the user started from the dialog is over too, and the
// application is asked to close the source.
void TSaneSource::EndBatch() {
  EndPage();
  if (uiSession_) message_ = MSG_CLOSEDSREQ;
  uiSession_ = false;
}

// ---- dispatch ----

TW_UINT16 TSaneSource::Entry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!handle_) return Refuse(TWCC_SEQERROR);
  if (!data && dat != DAT_NULL) return Refuse(TWCC_BADVALUE);
  if (dg == DG_CONTROL) {
    switch (dat) {
      case DAT_CAPABILITY:
        return Capability(msg, *static_cast<TW_CAPABILITY*>(data));
      case DAT_USERINTERFACE:
        if (msg == MSG_ENABLEDS) return Enable(*static_cast<TW_USERINTERFACE*>(data));
        if (msg == MSG_DISABLEDS) {
          Disable();
          return TWRC_SUCCESS;
        }
        return Refuse(TWCC_BADPROTOCOL);
      case DAT_SETUPMEMXFER: {
        if (msg != MSG_GET) return Refuse(TWCC_BADPROTOCOL);
        auto& s = *static_cast<TW_SETUPMEMXFER*>(data);
        const auto row = static_cast<TW_UINT32>(pageStarted_ ? OutRowBytes() : 1);
        s.MinBufSize = row;
        s.MaxBufSize = std::max<TW_UINT32>(row, 8u << 20);
        s.Preferred = std::max<TW_UINT32>(row, static_cast<TW_UINT32>(kPreferredStrip / row * row));
        return TWRC_SUCCESS;
      }
      case DAT_PENDINGXFERS:
        return PendingTransfers(msg, *static_cast<TW_PENDINGXFERS*>(data));
      default:
        return Refuse(TWCC_BADPROTOCOL);
    }
  }
  if (dg == DG_IMAGE) {
    switch (dat) {
      case DAT_IMAGEINFO:
        if (!pageStarted_) return Refuse(TWCC_SEQERROR);
        return ImageInfo(*static_cast<TW_IMAGEINFO*>(data));
      case DAT_IMAGELAYOUT:
        if (msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT)
          return GetLayout(*static_cast<TW_IMAGELAYOUT*>(data));
        if (msg == MSG_SET) return SetLayout(*static_cast<TW_IMAGELAYOUT*>(data));
        return Refuse(TWCC_BADPROTOCOL);
      case DAT_IMAGEMEMXFER:
        if (!pageStarted_) return Refuse(TWCC_SEQERROR);
        return MemoryStrip(*static_cast<TW_IMAGEMEMXFER*>(data));
      case DAT_IMAGENATIVEXFER:
        if (!pageStarted_) return Refuse(TWCC_SEQERROR);
        return NativeImage(static_cast<TW_HANDLE*>(data));
      default:
        return Refuse(TWCC_BADPROTOCOL);
    }
  }
  return Refuse(TWCC_BADPROTOCOL);
}

}  // namespace vx
