#include "Foundation/ErrorOr.h"

#include <cstring>

namespace platform {

Failure Failure::about(std::string_view subject) && {
    if (!text_.empty() || call_ != nullptr) text_ += ": ";
    text_ += subject;
    return std::move(*this);
}

std::string Failure::describe() const {
    if (call_ == nullptr) return text_;
    return std::string(call_) + ": " + std::strerror(code_) + text_;
}

} // namespace platform
