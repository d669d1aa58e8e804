#pragma once

// One privileged run at a time for a location: a run that acts holds its
// location's lock from before it looks at the location until it ends, and a
// second run waits for its turn.

#include "HelperTool.h"

#include "Foundation/Descriptor.h"
#include "Foundation/String.h"

#include <chrono>

class LocationLock {
public:
    // How long a run waits for the one before it.
    static constexpr std::chrono::seconds kPatience{300};

    LocationLock() = default;
    LocationLock(const LocationLock&) = delete;
    LocationLock& operator=(const LocationLock&) = delete;

    // Takes the lock of `location` (a known location name), waiting for
    // another run that holds it for at most kPatience. False, and logged,
    // when it did not come or cannot be had: the run must not act then.
    bool take(const HelperIdentity& identity, const platform::String* location);

private:
    platform::Descriptor fd_;
};
