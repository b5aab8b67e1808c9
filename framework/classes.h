// The smallest object model the units are written on: objects, owned components and
// notify events.
#pragma once
#include <functional>
#include <vector>

class TObject {
  public:
    virtual ~TObject() = default;
};

// An event handler that receives the object that raised the event. Unassigned when empty.
using TNotifyEvent = std::function<void(TObject *Sender)>;

// A component may have an owner, which frees it when the owner is freed; a component freed
// earlier leaves its owner's list.
class TComponent : public TObject {
  public:
    explicit TComponent(TComponent *AOwner);
    ~TComponent() override;
    TComponent(const TComponent &) = delete;
    TComponent &operator=(const TComponent &) = delete;

    TComponent *Owner() const { return FOwner; }

  private:
    TComponent *FOwner;
    std::vector<TComponent *> FOwned;
};
