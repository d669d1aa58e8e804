#pragma once

// For tests only: runs the log queue's unload-time step now. Lines submitted
// afterwards are dropped for the rest of the process.
void RequiredCoreLogUnloadForTesting();
