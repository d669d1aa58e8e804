#include "Security/LauncherProtocol.h"

#include <charconv>

namespace platform::launcher {

uid_t requesterOf(const char* value) {
    if (value == nullptr) return 0;
    const std::string_view text(value);
    unsigned long long uid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), uid);
    // Digits only, and not the "no user" id.
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || uid >= static_cast<uid_t>(-1)) {
        return 0;
    }
    return static_cast<uid_t>(uid);
}

std::string encodeRequest(const Request& request) {
    std::string bytes = request.path;
    bytes += '\0';
    for (const std::string& argument : request.arguments) {
        bytes += argument;
        bytes += '\0';
    }
    return bytes;
}

std::optional<Request> decodeRequest(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > kMaximumRequestSize || bytes.back() != '\0') return std::nullopt;
    std::vector<std::string> fields;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\0');
        fields.emplace_back(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    if (fields.size() > kMaximumArguments + 1 || fields.front().empty() || fields.front().front() != '/') {
        return std::nullopt;
    }
    Request request{std::move(fields.front()), {}};
    request.arguments.assign(std::make_move_iterator(fields.begin() + 1), std::make_move_iterator(fields.end()));
    return request;
}

std::string encodeReply(int startError) {
    return startError == 0 ? std::string(kStarted) : std::string(kFailedPrefix) + std::to_string(startError) + "\n";
}

std::optional<int> decodeReply(std::string_view bytes) {
    if (bytes == kStarted) return 0;
    if (!bytes.starts_with(kFailedPrefix) || !bytes.ends_with('\n')) return std::nullopt;
    bytes.remove_prefix(kFailedPrefix.size());
    bytes.remove_suffix(1);
    int error = 0;
    const auto [end, code] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), error);
    if (code != std::errc() || end != bytes.data() + bytes.size() || error <= 0) return std::nullopt;
    return error;
}

} // namespace platform::launcher
