#pragma once

// The observers registered with one object (private to the runtime).

#include "objc/KeyValueObserving.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ObservationInfo {
    struct Registration {
        std::string key;
        KeyValueObserver* observer;
    };
    std::vector<Registration> registrations;

    // The observers of a key, in registration order, taken before any of
    // them runs (an observer may remove itself or others).
    std::vector<KeyValueObserver*> observersOf(std::string_view key) const {
        std::vector<KeyValueObserver*> found;
        for (const Registration& registration : registrations) {
            if (registration.key == key) found.push_back(registration.observer);
        }
        return found;
    }
};

} // namespace platform
