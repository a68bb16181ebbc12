#include "acquire/twaindsm.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "acquire/sanesource.h"

namespace vx {

// Each block carries its size in front of it, as the platform's global memory does, so
// that whoever receives a handle can check what it reads against the block.
namespace {
constexpr size_t kBlockHeader = 16;
}

TW_HANDLE TwainAlloc(size_t size) {
  if (size > SIZE_MAX - kBlockHeader) return nullptr;
  auto* p = static_cast<uint8_t*>(std::calloc(1, size + kBlockHeader));
  if (!p) return nullptr;
  std::memcpy(p, &size, sizeof size);
  return p + kBlockHeader;
}

size_t TwainSize(TW_HANDLE h) {
  if (!h) return 0;
  size_t size = 0;
  std::memcpy(&size, static_cast<uint8_t*>(h) - kBlockHeader, sizeof size);
  return size;
}

void TwainFree(TW_HANDLE h) {
  if (h) std::free(static_cast<uint8_t*>(h) - kBlockHeader);
}

TVXTWPlatformHooks& TwainPlatformHooks() {
  static TVXTWPlatformHooks hooks;
  return hooks;
}

namespace {

struct TSourceSlot {
  TW_IDENTITY identity{};
  std::unique_ptr<TVXTWDataSource> source;
  bool open = false;
};

struct TManager {
  bool open = false;
  TW_UINT32 nextAppId = 1;
  std::vector<TSourceSlot> slots;
  size_t cursor = 0;  // next identity of MSG_GETNEXT
  TW_UINT16 conditionCode = TWCC_SUCCESS;
  std::string lastError;
  bool saneEnabled = true;
  std::map<int, TVXTWSourceProvider> providers;
  int nextProviderKey = 1;
  std::unique_ptr<TSaneSession> sane;
};

TManager& Manager() {
  static TManager m;
  return m;
}

TW_UINT16 Fail(TW_UINT16 cc, std::string why = {}) {
  TManager& m = Manager();
  m.conditionCode = cc;
  if (!why.empty()) m.lastError = std::move(why);
  return TWRC_FAILURE;
}

void AddSource(std::unique_ptr<TVXTWDataSource> source) {
  TManager& m = Manager();
  TSourceSlot slot;
  source->Describe(slot.identity);
  slot.identity.Id = static_cast<TW_UINT32>(m.slots.size() + 1);
  slot.identity.Version.MajorNum = 1;
  slot.identity.Version.Language = TWLG_USA;
  slot.identity.Version.Country = TWCY_USA;
  slot.identity.ProtocolMajor = 1;
  slot.identity.ProtocolMinor = 9;
  slot.identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  slot.source = std::move(source);
  m.slots.push_back(std::move(slot));
}

TW_UINT16 OpenManager() {
  TManager& m = Manager();
  if (m.open) return Fail(TWCC_SEQERROR);
  m.lastError.clear();
  m.conditionCode = TWCC_SUCCESS;
  m.slots.clear();
  if (m.saneEnabled) {
    m.sane = TSaneSession::Start(m.lastError);
    if (m.sane)
      for (auto& s : m.sane->Sources()) AddSource(std::move(s));
  }
  for (auto& [key, provider] : m.providers)
    for (auto& s : provider()) AddSource(std::move(s));
  m.open = true;
  return TWRC_SUCCESS;
}

TW_UINT16 CloseManager() {
  TManager& m = Manager();
  if (!m.open) return Fail(TWCC_SEQERROR);
  for (auto& slot : m.slots)
    if (slot.open) return Fail(TWCC_SEQERROR, "a source is still open");
  m.slots.clear();  // sources go before the SANE session that made them
  m.sane.reset();
  m.open = false;
  return TWRC_SUCCESS;
}

TSourceSlot* FindSlot(const TW_IDENTITY* id) {
  TManager& m = Manager();
  if (!id) return nullptr;
  for (auto& slot : m.slots)
    if (slot.identity.Id == id->Id && id->Id != 0) return &slot;
  return nullptr;
}

// The slot an open request names: by Id, else by product name, else the default
// (first) source when the identity is blank.
TSourceSlot* SlotToOpen(const TW_IDENTITY& id) {
  TManager& m = Manager();
  if (TSourceSlot* s = FindSlot(&id)) return s;
  if (id.ProductName[0]) {
    for (auto& slot : m.slots)
      if (std::strncmp(slot.identity.ProductName, id.ProductName, 34) == 0) return &slot;
    return nullptr;
  }
  return m.slots.empty() ? nullptr : &m.slots.front();
}

TW_UINT16 IdentityTriplet(TW_UINT16 msg, TW_IDENTITY* id) {
  TManager& m = Manager();
  if (!m.open) return Fail(TWCC_SEQERROR);
  if (!id) return Fail(TWCC_BADVALUE);
  switch (msg) {
    case MSG_GETFIRST:
    case MSG_GETNEXT: {
      if (msg == MSG_GETFIRST) m.cursor = 0;
      if (m.cursor >= m.slots.size()) return TWRC_ENDOFLIST;
      *id = m.slots[m.cursor++].identity;
      return TWRC_SUCCESS;
    }
    case MSG_GETDEFAULT:
      if (m.slots.empty()) return Fail(TWCC_NODS, "no scanner was found");
      *id = m.slots.front().identity;
      return TWRC_SUCCESS;
    case MSG_USERSELECT: {
      if (m.slots.empty()) return Fail(TWCC_NODS, "no scanner was found");
      auto& select = TwainPlatformHooks().SelectSource;
      std::vector<std::string> names;
      int current = 0;
      for (size_t i = 0; i < m.slots.size(); ++i) {
        names.emplace_back(m.slots[i].identity.ProductName);
        if (id->Id && m.slots[i].identity.Id == id->Id) current = static_cast<int>(i);
      }
      const int chosen = select ? select(0, names, current) : -2;
      if (chosen == -2) {
        // Nobody to ask: the default source is the choice.
        *id = m.slots.front().identity;
        return TWRC_SUCCESS;
      }
      if (chosen < 0 || chosen >= static_cast<int>(m.slots.size())) return TWRC_CANCEL;
      *id = m.slots[static_cast<size_t>(chosen)].identity;
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
      TSourceSlot* slot = SlotToOpen(*id);
      if (!slot) return Fail(TWCC_NODS, "no such scanner");
      if (slot->open) return Fail(TWCC_MAXCONNECTIONS, "the scanner is already open");
      std::string why;
      if (!slot->source->Open(why)) return Fail(TWCC_OPERATIONERROR, why);
      slot->open = true;
      *id = slot->identity;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: {
      TSourceSlot* slot = FindSlot(id);
      if (!slot || !slot->open) return Fail(TWCC_SEQERROR);
      slot->source->Close();
      slot->open = false;
      return TWRC_SUCCESS;
    }
    default:
      return Fail(TWCC_BADPROTOCOL);
  }
}

}  // namespace

int AddBuiltinSourceProvider(TVXTWSourceProvider provider) {
  TManager& m = Manager();
  const int key = m.nextProviderKey++;
  m.providers.emplace(key, std::move(provider));
  return key;
}

void RemoveBuiltinSourceProvider(int key) {
  Manager().providers.erase(key);
}

void SetBuiltinSaneEnabled(bool enabled) {
  Manager().saneEnabled = enabled;
}

const std::string& BuiltinManagerLastError() {
  return Manager().lastError;
}

TW_UINT16 BuiltinDSMEntry(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data) {
  TManager& m = Manager();
  if (!origin) return Fail(TWCC_BADPROTOCOL);
  if (!dest) {
    // Triplets for the manager itself.
    if (dg != DG_CONTROL) return Fail(TWCC_BADPROTOCOL);
    switch (dat) {
      case DAT_PARENT:
        if (msg == MSG_OPENDSM) {
          const TW_UINT16 rc = OpenManager();
          if (rc == TWRC_SUCCESS && origin->Id == 0) origin->Id = m.nextAppId++;
          return rc;
        }
        if (msg == MSG_CLOSEDSM) return CloseManager();
        return Fail(TWCC_BADPROTOCOL);
      case DAT_IDENTITY:
        return IdentityTriplet(msg, static_cast<TW_IDENTITY*>(data));
      case DAT_STATUS:
        if (msg != MSG_GET || !data) return Fail(TWCC_BADPROTOCOL);
        static_cast<TW_STATUS*>(data)->ConditionCode = m.conditionCode;
        m.conditionCode = TWCC_SUCCESS;
        return TWRC_SUCCESS;
      default:
        return Fail(TWCC_BADPROTOCOL);
    }
  }
  TSourceSlot* slot = FindSlot(dest);
  if (!m.open || !slot || !slot->open) return Fail(TWCC_BADDEST);
  if (dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT) {
    auto* event = static_cast<TW_EVENT*>(data);
    if (!event) return Fail(TWCC_BADVALUE);
    event->TWMessage = slot->source->TakeMessage();
    return event->TWMessage != MSG_NULL ? TWRC_DSEVENT : TWRC_NOTDSEVENT;
  }
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) {
    if (!data) return Fail(TWCC_BADVALUE);
    static_cast<TW_STATUS*>(data)->ConditionCode = slot->source->ConditionCode();
    return TWRC_SUCCESS;
  }
  const TW_UINT16 rc = slot->source->Entry(dg, dat, msg, data);
  if (rc == TWRC_FAILURE) {
    m.conditionCode = slot->source->ConditionCode();
    std::string why = slot->source->LastError();
    if (!why.empty()) m.lastError = std::move(why);
  }
  return rc;
}

}  // namespace vx
