#include "platform/component.h"

#include <algorithm>

namespace vx {

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Owned components go first, newest first, as each one's death may concern the rest.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    components_.pop_back();
    c->owner_ = nullptr;
    delete c;
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::AdoptComponent(std::unique_ptr<TComponent> c) {
  if (!c) return;
  TComponent* raw = c.release();
  if (raw->owner_) raw->owner_->RemoveComponent(raw);
  InsertComponent(raw);
}

void TComponent::InsertComponent(TComponent* c) {
  c->owner_ = this;
  components_.push_back(c);
}

void TComponent::RemoveComponent(TComponent* c) {
  components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
  c->owner_ = nullptr;
}

}  // namespace vx
