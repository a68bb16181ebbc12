#include "platform/object.h"

#include <algorithm>

namespace vx {

namespace {
void Erase(std::vector<TFreeNotifier*>& v, TFreeNotifier* p) {
  v.erase(std::remove(v.begin(), v.end(), p), v.end());
}
bool Has(const std::vector<TFreeNotifier*>& v, TFreeNotifier* p) {
  return std::find(v.begin(), v.end(), p) != v.end();
}
}  // namespace

TFreeNotifier::~TFreeNotifier() {
  // Tell observers first; each may detach from us while being told.
  while (!observers_.empty()) {
    TFreeNotifier* obs = observers_.back();
    observers_.pop_back();
    obs->Notification(this, opRemove);
  }
  while (!links_.empty()) {
    TFreeNotifier* other = links_.back();
    links_.pop_back();
    Erase(other->links_, this);
    Erase(other->observers_, this);
  }
}

void TFreeNotifier::Link(TFreeNotifier* other) {
  if (!Has(links_, other)) links_.push_back(other);
  if (!Has(other->links_, this)) other->links_.push_back(this);
}

void TFreeNotifier::Unlink(TFreeNotifier* other) {
  Erase(links_, other);
  Erase(other->links_, this);
}

void TFreeNotifier::FreeNotification(TFreeNotifier* observer) {
  if (!observer || observer == this) return;
  if (!Has(observers_, observer)) observers_.push_back(observer);
  Link(observer);
}

void TFreeNotifier::RemoveFreeNotification(TFreeNotifier* observer) {
  if (!observer) return;
  Erase(observers_, observer);
  if (!Has(observer->observers_, this)) Unlink(observer);
}

void TFreeNotifier::Notification(TFreeNotifier*, TOperation) {}

}  // namespace vx
