#pragma once

#include "Foundation/ErrorOr.h"

#include <string>

namespace testsupport {

// Why a result failed, in its own words; empty when it did not.
template <class T>
std::string whyFailed(const platform::ErrorOr<T>& result) {
    return result.isError() ? result.error().describe() : std::string();
}

} // namespace testsupport
