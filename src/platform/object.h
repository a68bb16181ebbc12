#pragma once
// Root of the object hierarchy and destruction notices.
#include <vector>

namespace vx {

class TObject {
 public:
  virtual ~TObject() = default;
};

enum class TOperation { opInsert, opRemove };
using enum TOperation;

// An object that others can ask to be told about when it is destroyed. The link is
// kept on both sides so that whichever dies first unhooks itself from the other.
class TFreeNotifier : public TObject {
 public:
  TFreeNotifier() = default;
  TFreeNotifier(const TFreeNotifier&) = delete;
  TFreeNotifier& operator=(const TFreeNotifier&) = delete;
  ~TFreeNotifier() override;

  // Asks that observer->Notification(this, opRemove) is called when this object dies.
  void FreeNotification(TFreeNotifier* observer);
  void RemoveFreeNotification(TFreeNotifier* observer);

  // Called on an observer when an object it watches is being destroyed.
  virtual void Notification(TFreeNotifier* object, TOperation operation);

 private:
  void Link(TFreeNotifier* other);
  void Unlink(TFreeNotifier* other);
  std::vector<TFreeNotifier*> links_;  // both directions, deduplicated
  std::vector<TFreeNotifier*> observers_;
};

}  // namespace vx
