#include "framework/classes.h"

#include <algorithm>

TComponent::TComponent(TComponent *AOwner) : FOwner(AOwner) {
    if (FOwner)
        FOwner->FOwned.push_back(this);
}

TComponent::~TComponent() {
    // Owned components are freed newest first; each one takes itself off this list.
    while (!FOwned.empty())
        delete FOwned.back();
    if (FOwner) {
        auto &list = FOwner->FOwned;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}
