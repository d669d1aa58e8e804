#include "Foundation/Thread.h"

#include <unistd.h>

namespace platform {

bool Thread::isMainThread() { return gettid() == getpid(); }

} // namespace platform
