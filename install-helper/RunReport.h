#pragma once

// What the privileged run tells the user who asked for it: how it ended, in
// that user's words, left where only that user may read it and only root may
// write it; a failure also goes to the journal as an error.

#include "HelperTool.h"

#include "Foundation/Descriptor.h"
#include "Foundation/String.h"

#include <sys/types.h>

#include <string>

// Who asked for this run: the user polkit acted for, as the launcher passes
// it on; root (the default) when root started the run itself.
void setRunRequester(uid_t requester);
uid_t runRequester();

// Notes why this run failed; the first note stands.
void noteRunFailure(std::string reason);

// The report of one run: opened before the run confines itself (which
// hides /run), written when it goes: failed with the first note, or done.
class RunReport {
public:
    RunReport(const HelperIdentity& identity, uid_t requester, const platform::String* location,
              const platform::String* destination);
    ~RunReport();
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

private:
    const HelperIdentity& identity_;
    platform::Descriptor record_;
    std::string destination_;
};

// Why a step failed, in a user's words: the Library folder read-only, not
// enough space for `source` there, or the step's name.
std::string whyTheStepFailed(const std::string& program, const std::string& source, const std::string& destination);
