#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "atomic_file.h"
#include "merge/fault_status.h"
#include "merge/photo_support.h"

using namespace photo_support;
using tonefold::AtomicFile;

namespace {

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<uint8_t> kNew = {'n', 'e', 'w', '!'};

TEST(AtomicFile, CommitReplacesTheTargetAndKeepsItsPermissions) {
    ScratchDir dir;
    const std::string target = dir.File("out.jpg");
    WriteFile(target, kOld);
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    AtomicFile file;
    std::string reason;
    ASSERT_TRUE(file.Open(target, &reason)) << reason;
    ASSERT_TRUE(file.Write(kNew.data(), kNew.size(), &reason)) << reason;
    EXPECT_EQ(ReadFile(target), kOld);  // untouched until the commit
    ASSERT_TRUE(file.Commit(&reason)) << reason;
    EXPECT_EQ(ReadFile(target), kNew);
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
}

TEST(AtomicFile, AFileNeverCommittedLeavesTheTargetAndNoTemporary) {
    ScratchDir dir;
    const std::string target = dir.File("out.png");
    WriteFile(target, kOld);
    {
        AtomicFile file;
        std::string reason;
        ASSERT_TRUE(file.Open(target, &reason)) << reason;
        ASSERT_TRUE(file.Write(kNew.data(), kNew.size(), &reason));
        EXPECT_EQ(dir.Entries().size(), 2u);  // the temporary lies beside the target
    }
    EXPECT_EQ(ReadFile(target), kOld);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.png"});
}

TEST(AtomicFile, FailuresLeaveTheTargetAsItWas) {
    ScratchDir dir;
    std::string reason;
    // A folder that does not exist cannot hold the temporary.
    AtomicFile missing;
    EXPECT_FALSE(missing.Open(dir.File("no/such/folder/out.jpg"), &reason));
    EXPECT_FALSE(reason.empty());

    // A target that is a folder with content cannot be replaced: the rename fails.
    const std::string folder = dir.File("out.jpg");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteFile(folder + "/keep", kOld);
    AtomicFile file;
    ASSERT_TRUE(file.Open(folder, &reason)) << reason;
    ASSERT_TRUE(file.Write(kNew.data(), kNew.size(), &reason));
    reason.clear();
    EXPECT_FALSE(file.Commit(&reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(ReadFile(folder + "/keep"), kOld);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
}

using fault_status::EndedByFault;

// A child that opens and writes a temporary for target, then meets signal: sent to itself,
// or for a fault, raised by a bad memory access. Returns the child's wait status.
int StatusOfAWriteInterruptedBy(int signal, const std::string &target, bool ignoredAtStart) {
    const pid_t child = fork();
    if (child == 0) {
        const struct rlimit noCore {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (ignoredAtStart) ::signal(signal, SIG_IGN);
        AtomicFile::RemoveTemporaryOnSignals();
        AtomicFile file;
        std::string reason;
        if (!file.Open(target, &reason) || !file.Write(kNew.data(), kNew.size(), &reason)) {
            _exit(2);
        }
        if (signal == SIGSEGV) {
            // An address in the unmapped first page, but not null: the undefined-behaviour
            // checker would stop at a null store itself, before any handler runs. The address
            // is read back from a volatile so the compiler cannot see the store's target.
            volatile uintptr_t unmapped = 64;
            *reinterpret_cast<volatile int *>(unmapped) = 1;
        } else {
            raise(signal);
        }
        file.Discard();
        _exit(3);  // reached only when the signal is ignored
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST(AtomicFile, EverySignalThatEndsTheProgramRemovesTheTemporaryAndEndsItBySignal) {
    // The first and last real-time signals bound the range the clean-up covers.
    const int signals[] = {SIGINT,    SIGTERM, SIGHUP, SIGQUIT,  SIGPIPE,  SIGUSR1,
                           SIGUSR2,   SIGALRM, SIGXCPU, SIGXFSZ, SIGPROF,  SIGIO,
                           SIGVTALRM, SIGPWR,  SIGRTMIN, SIGRTMIN + 1, SIGRTMAX - 1, SIGRTMAX,
                           SIGSEGV};
    for (const int signal : signals) {
        SCOPED_TRACE(strsignal(signal));
        ScratchDir dir;
        const std::string target = dir.File("out.jpg");
        WriteFile(target, kOld);
        const int status = StatusOfAWriteInterruptedBy(signal, target, false);
        if (signal == SIGSEGV) {
            EXPECT_TRUE(EndedByFault(status, signal)) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        }
        EXPECT_EQ(ReadFile(target), kOld);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
    }
}

TEST(AtomicFile, ASignalIgnoredAtTheStartStaysIgnored) {
    ScratchDir dir;
    const std::string target = dir.File("out.jpg");
    WriteFile(target, kOld);
    const int status = StatusOfAWriteInterruptedBy(SIGHUP, target, true);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.jpg"});
}

}  // namespace
