#include "LogCapture.h"

#include "WithRequirements/RequiredCoreFoundation.h"
#include "WithRequirements/RequiredDispatch.h"
#include "WithRequirements/RequiredObjectiveC.h"
#include "WithRequirements/RequiredOSStatus.h"
#include "WithRequirements/RequiredPOSIX.h"

#include "CoreFoundation/CFString.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Error.h"
#include "Foundation/Exception.h"
#include "Foundation/Null.h"
#include "Foundation/Number.h"

#include <cerrno>

using namespace platform;
using Lines = std::vector<std::string>;

namespace {

std::string hex(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

// Answers "delegate" with what it was given; raises when given nothing.
class Delegating : public Object {
public:
    PLATFORM_CLASS_RECORD
    Ref<Object> delegate() {
        if (!delegate_) Exception::raise(NSInternalInconsistencyException, make<String>("no delegate"));
        return delegate_;
    }
    Ref<Object> delegate_;
};
const Class Delegating::classRecord{"RequirementTestsDelegating", &Object::classRecord, nullptr,
                                    {{"delegate", method(&Delegating::delegate)}}};

const char* const kFile = "PrivetBundlePayloadController.mm";

} // namespace

TEST(RequirementLines, CarryTheLocationSuffix) {
    LogCapture capture;
    __CFRequiredBody("-[Pane install:]", kFile, 42, "count > 0");
    __CFRequiredBody(nullptr, nullptr, 9, nullptr);
    __CFRequiredBody("f", "F.c", 1, "100% %@ %s");
    EXPECT_EQ(capture.lines(), (Lines{"REQUIREMENT - count > 0 in -[Pane install:]:42 (" + std::string(kFile) + ")",
                                      "REQUIREMENT -  in :9 ()", "REQUIREMENT - 100% %@ %s in f:1 (F.c)"}));
}

TEST(RequirementLines, TypeCheckNamesBothTypesOrTheMissingObject) {
    LogCapture capture;
    const auto number = Number::numberWithInteger(3);
    const auto plain = Object::classRecord.createInstance();
    __CFRequiredTypeOfBody("TYPE", number.get(), CFStringGetTypeID(), "F.c", "fn", 12, "value");
    __CFRequiredTypeOfBody("TYPE", plain.get(), CFStringGetTypeID(), "F.c", "fn", 13, "plain");
    __CFRequiredTypeOfBody("TYPE", kCFNull, CFStringGetTypeID(), "F.c", "fn", 14, "null");
    __CFRequiredTypeOfBody("TYPE", nullptr, CFStringGetTypeID(), "F.c", "fn", 15, "missing");
    EXPECT_EQ(capture.lines(),
              (Lines{"TYPE [value ((CFNumber)0x" + hex(number.get()) +
                         ") != CFStringGetTypeID() (00000003!=00000002)] FAILED : in fn LINE# 12 (F.c)\n",
                     "TYPE [plain ((?)0x" + hex(plain.get()) +
                         ") != CFStringGetTypeID() (00000000!=00000002)] FAILED : in fn LINE# 13 (F.c)\n",
                     "TYPE [null ((CFNull)0x" + hex(kCFNull) +
                         ") != CFStringGetTypeID() (00000001!=00000002)] FAILED : in fn LINE# 14 (F.c)\n",
                     "TYPE missing==NULL : in fn LINE# 15 (F.c)\n"}));
}

TEST(RequirementLines, NotCFNullPrintsTheValue) {
    LogCapture capture;
    __CFRequiredNotCFNullBody(nullptr, "F.c", "fn", 3, "handle");
    __CFRequiredNotCFNullBody(kCFNull, "F.c", "fn", 4, "value");
    EXPECT_EQ(capture.lines(), (Lines{"REQUIRED_NOT_NULL 0x00000000==NULL : handle in fn LINE# 3 (F.c)\n",
                                      "REQUIRED_NOT_NULL 0x" + hex(kCFNull) + "==NULL : value in fn LINE# 4 (F.c)\n"}));
}

TEST(RequirementLines, OSStatusPrintsTheSignedStatusItsNameAndComment) {
    LogCapture capture;
    __OSStatusRequiredBody(-60006, "main", "Helper.cpp", 88, "SRC>>AuthorizationCopyRights(auth, &rights)");
    __OSStatusRequiredBody(123456, "main", "Helper.cpp", 89, "SRC>>status");
    EXPECT_EQ(capture.lines(),
              (Lines{"REQUIRED_OSSTATUS(-60006) errAuthorizationCanceled-'The user canceled the authorization.' - "
                     "SRC>>AuthorizationCopyRights(auth, &rights) in main:88 (Helper.cpp)",
                     "REQUIRED_OSSTATUS(123456) unknown-'No description is known for this status.' - SRC>>status in "
                     "main:89 (Helper.cpp)"}));
}

TEST(RequirementLines, ErrorAndExceptionPrintTheirDescriptions) {
    LogCapture capture;
    const auto error = make<Error>(make<String>("NSPOSIXErrorDomain"), 2,
                                   make<Dictionary>(Dictionary::Storage{{"NSLocalizedDescription", make<String>("gone")}}));
    const auto exception = make<Exception>(make<String>("NSRangeException"), make<String>("index 3 beyond bounds"));
    __NSRequiredNSErrorNilBody(error.get(), "fn", "F.mm", 5, "error");
    __NSRequiredNoExceptionBody(exception.get(), "F.mm", "fn", 6, "[array objectAtIndex:3]");
    EXPECT_EQ(capture.lines(),
              (Lines{"REQUIRED_NSERROR_NIL Error Domain=NSPOSIXErrorDomain Code=2 \"gone\" - error in fn:5 (F.mm)",
                     "REQUIRED_NO_EXCEPTION NSException{ index 3 beyond bounds } - [array objectAtIndex:3] in fn:6 (F.mm)"}));
}

TEST(RequirementLines, DelegateSelectorNamesTheClassAndDelegate) {
    LogCapture capture;
    const auto withDelegate = make<Delegating>();
    withDelegate->delegate_ = make<String>("<the delegate>");
    const auto raising = make<Delegating>();
    const auto string = make<String>("no delegate method");
    __NSRequiredDelegateSelectorBody("DELEGATE", withDelegate.get(), "tableView:", "fn", "F.mm", 1, "e");
    __NSRequiredDelegateSelectorBody("DELEGATE", string.get(), "tableView:", "fn", "F.mm", 2, "e");
    __NSRequiredDelegateSelectorBody("DELEGATE", nullptr, "tableView:", "fn", "F.mm", 3, "e");
    __NSRequiredDelegateSelectorBody("DELEGATE", NSRequiredNotNSNullCachedValue, "x", "fn", "F.mm", 4, "e");
    __NSRequiredDelegateSelectorBody("DELEGATE", raising.get(), nullptr, "fn", "F.mm", 5, "e");
    EXPECT_EQ(capture.lines(),
              (Lines{"DELEGATE RequirementTestsDelegating.delegate=<the delegate> has no @selector(tableView:) - e in fn:1 (F.mm)",
                     "DELEGATE NSString.delegate=(null) has no @selector(tableView:) - e in fn:2 (F.mm)",
                     "DELEGATE (nil).delegate=(null) has no @selector(tableView:) - e in fn:3 (F.mm)",
                     "DELEGATE NSNull.delegate=(null) has no @selector(x) - e in fn:4 (F.mm)",
                     "DELEGATE RequirementTestsDelegating.delegate=(null) has no @selector((null)) - e in fn:5 (F.mm)"}));
}

TEST(RequirementLines, NotNilAndValidIdTellNilFromTheNullObject) {
    LogCapture capture;
    ASSERT_EQ(NSRequiredNotNSNullCachedValue, Null::null());
    __NSRequiredNotNilBody(nullptr, "fn", "F.mm", 1, "value");
    __NSRequiredNotNilBody(Null::null(), "fn", "F.mm", 2, "value");
    __NSRequiredValidIdBody(nullptr, "fn", "F.mm", 3, "value");
    __NSRequiredValidIdBody(Null::null(), "fn", "F.mm", 4, "value");
    EXPECT_EQ(capture.lines(), (Lines{"REQUIRED_NOT_NIL (nil)==nil - value in fn:1 (F.mm)",
                                      "REQUIRED_NOT_NIL NSNull==NSNull - value in fn:2 (F.mm)",
                                      "VERIFY_ID (nil)==nil - value in fn:3 (F.mm)",
                                      "VERIFY_ID NSNull==NSNull - value in fn:4 (F.mm)"}));
}

TEST(RequirementLines, KindOfClassNamesObjectAndRequiredClass) {
    LogCapture capture;
    const auto number = Number::numberWithInteger(1);
    __NSRequiredKindOfClassBody("KIND", number.get(), &String::classRecord, "fn", "F.mm", 1, "name");
    __NSRequiredKindOfClassBody("KIND", nullptr, &String::classRecord, "fn", "F.mm", 2, "name");
    __NSRequiredKindOfClassBody(nullptr, number.get(), nullptr, "fn", "F.mm", 3, "name");
    EXPECT_EQ(capture.lines(), (Lines{"KIND [NSNumber isKindOfClass:NSString] FAILED - name in fn:1 (F.mm)",
                                      "KIND [(nil) isKindOfClass:NSString] FAILED - name in fn:2 (F.mm)",
                                      "(null) [NSNumber isKindOfClass:(null)] FAILED - name in fn:3 (F.mm)"}));
}

TEST(RequirementLines, BlockAndQueuePrintThePointer) {
    LogCapture capture;
    __BlockPtrRequiredBody("completion", nullptr, "fn", "F.mm", 1, "handler");
    __DispatchRequiredBody("LABEL NOT PRINTED", nullptr, "fn", "F.mm", 2, "queue");
    EXPECT_EQ(capture.lines(), (Lines{"REQUIRED_BLOCK_PTR completion 0x00000000==NULL - handler in fn:1 (F.mm)",
                                      "REQUIRED_DISPATCH_QUEUE 0x00000000==NULL - queue in fn:2 (F.mm)"}));
}

TEST(RequirementLines, POSIXExplainsTheErrnoAtEntry) {
    const std::pair<int, const char*> table[] = {
        {EPERM, "The operation was prevented by a file seal; see fcntl(2)."},
        {EINTR, "The call was interrupted by a signal before any data was written; see signal(7)."},
        {EIO, "low-level I/O error occurred while modifying the inode. "},
        {EBADF, "fd is not a valid file descriptor or is not open for writing."},
        {EFAULT, "buf is outside your accessible address space."},
        {EINVAL, "fd is attached to an object which is unsuitable for writing; or the file was "
                 "opened with the O_DIRECT flag, and either the address specified in buf, the "
                 "value specified in count, or the file offset is not suitably aligned. "},
        {EFBIG, "An attempt was made to write a file that exceeds the implementation-defined "
                "maximum file size or the process's file size limit, or to write at a position "
                "past the maximum allowed offset."},
        {ENOSPC, "The device containing the file referred to by fd has no room for the data. "},
        {EPIPE, "fd is connected to a pipe or socket whose reading end is closed.  When this "
                "happens the writing process will also receive a SIGPIPE signal.  (Thus, the "
                "write return value is seen only if the program catches, blocks or ignores this "
                "signal.)"},
        {EAGAIN, "The file descriptor fd refers to a file other than a socket and has been  "
                 "marked nonblocking (O_NONBLOCK), and the write would block. See open(2) for "
                 "further details on the O_NONBLOCK flag"},
        {EDESTADDRREQ, "fd refers to a datagram socket for which a peer address has not been set using "
                       "connect(2)."},
        {EDQUOT, "The user's quota of disk blocks on the filesystem containing the file referred "
                 "to by fd has been exhausted."}};
    for (const auto& [error, text] : table) {
        LogCapture capture;
        errno = error;
        __POSIXNoErrorRequiredBody(-1, "fn", "F.c", 7, "write(fd, buffer, size)");
        EXPECT_EQ(capture.lines(), Lines{"REQUIRED_POSIX_ERRNO errno=" + std::to_string(error) + " (-1) " + text +
                                         " - write(fd, buffer, size) in fn:7 (F.c)"});
    }
    LogCapture capture;
    errno = ENOENT;
    __POSIXNoErrorRequiredBody(3, "fn", "F.c", 8, "close(fd)");
    EXPECT_EQ(capture.lines(), Lines{"REQUIRED_POSIX_ERRNO errno=" + std::to_string(ENOENT) + " (3)  - close(fd) in fn:8 (F.c)"});
}
