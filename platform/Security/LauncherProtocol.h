#pragma once

// The conversation between an unprivileged caller and the privileged
// launcher that polkit starts for it, over one stream socket:
//   launcher -> caller   "granted\n"                 once it runs as the superuser
//   caller   -> launcher path NUL argument NUL ...   then end of stream
//   launcher -> caller   "started\n" or "failed <errno>\n"

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::launcher {

inline constexpr std::string_view kGranted = "granted\n";
inline constexpr std::string_view kStarted = "started\n";
inline constexpr std::string_view kFailedPrefix = "failed ";
// The most a request may hold.
inline constexpr std::size_t kMaximumRequestSize = 1 << 20;
inline constexpr std::size_t kMaximumArguments = 64;

struct Request {
    std::string path;
    std::vector<std::string> arguments;
};

std::string encodeRequest(const Request& request);
// Absent for a request that is empty, malformed, too large, or whose path
// is not absolute.
std::optional<Request> decodeRequest(std::string_view bytes);

// How the launcher tells the run it starts which user polkit acted for
// (pkexec's PKEXEC_UID), so that the run can leave its outcome for that user.
inline constexpr const char* kRequesterVariable = "PRIVET_REQUESTED_BY";
// The user a decimal user id names; root when the value is absent or not one.
uid_t requesterOf(const char* value);

std::string encodeReply(int startError);
// The start's errno (0 for started); absent for a malformed reply.
std::optional<int> decodeReply(std::string_view bytes);

} // namespace platform::launcher
