#pragma once
// Events: a callable that fires only when assigned. An event bound to a member
// function keeps the (routine, object) identity, so that a list of handlers can remove
// exactly the one that was added.
#include <array>
#include <cstring>
#include <functional>
#include <typeinfo>
#include <utility>

namespace vx {

class TObject;

template <class... Args>
class TMethod {
 public:
  TMethod() = default;
  TMethod(std::nullptr_t) {}
  // Any callable; it has no identity beyond its own address, so two plain callables
  // never compare equal.
  template <class F, class = std::enable_if_t<std::is_invocable_v<F&, Args...> &&
                                              !std::is_same_v<std::decay_t<F>, TMethod>>>
  TMethod(F&& f) : fn_(std::forward<F>(f)) {}

  // Binds a member function to an object, keeping both for comparison.
  template <class C, class R>
  static TMethod Bind(C* object, R (C::*method)(Args...)) {
    TMethod m;
    m.fn_ = [object, method](Args... a) { (object->*method)(std::forward<Args>(a)...); };
    m.object_ = object;
    m.type_ = &typeid(method);
    static_assert(sizeof(method) <= sizeof(m.code_), "member pointer too large");
    std::memcpy(m.code_.data(), &method, sizeof(method));
    return m;
  }

  bool Assigned() const { return static_cast<bool>(fn_); }
  explicit operator bool() const { return Assigned(); }

  // Fires the handler when one is assigned.
  void operator()(Args... args) const {
    if (fn_) fn_(std::forward<Args>(args)...);
  }

  const void* Object() const { return object_; }

  // Same routine on the same object. Unbound callables are never equal.
  bool SameAs(const TMethod& other) const {
    return object_ && object_ == other.object_ && type_ && other.type_ && *type_ == *other.type_ &&
           code_ == other.code_;
  }

 private:
  std::function<void(Args...)> fn_;
  const void* object_ = nullptr;
  const std::type_info* type_ = nullptr;
  std::array<unsigned char, 2 * sizeof(void*)> code_{};
};

using TNotifyEvent = TMethod<TObject*>;

}  // namespace vx
