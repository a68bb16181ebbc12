#pragma once
// Components: objects with an owner that destroys them, and a name.
#include <memory>
#include <string>
#include <vector>

#include "platform/object.h"

namespace vx {

class TComponent : public TFreeNotifier {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_[static_cast<size_t>(i)]; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& n) { name_ = n; }

  // Creates a component owned (and later destroyed) by owner.
  template <class T, class... A>
  static T* CreateOwned(TComponent& owner, A&&... args) {
    auto p = std::make_unique<T>(std::forward<A>(args)...);
    T* raw = p.get();
    owner.AdoptComponent(std::move(p));
    return raw;
  }

  // Hands an existing component to this owner.
  void AdoptComponent(std::unique_ptr<TComponent> c);

 private:
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;  // owned
  std::string name_;
};

}  // namespace vx
