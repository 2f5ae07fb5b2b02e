// The merge program's output as a user meets it: a file they may not write, the owner and group
// of a file that is replaced, and a link whose file is named for another format.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "merge/photo_support.h"
#include "merge_program.h"

using namespace photo_support;

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kCannotDrop = 77;

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
}

struct ChildRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the built program in a child. As root the child first becomes the user nobody, since
// root may write any file and the refusal is for users who may not; any other user runs it as
// themselves. Exit code kCannotDrop: the child could not become that user.
ChildRun RunAsUser(const std::string &folder, const std::vector<std::string> &args) {
    int outPipe[2], errPipe[2];
    ChildRun run;
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
                               setuid(kNobody) != 0 || geteuid() == 0)) {
            _exit(kCannotDrop);
        }
        if (access(folder.c_str(), W_OK | X_OK) != 0 ||
            access(TONEFOLD_MERGE_EXECUTABLE, X_OK) != 0) {
            _exit(kCannotDrop);
        }
        std::vector<char *> argv = {const_cast<char *>("tonefold-merge")};
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(TONEFOLD_MERGE_EXECUTABLE, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    int status = 0;
    waitpid(child, &status, 0);
    run.out = ReadAll(outPipe[0]);
    run.err = ReadAll(errPipe[0]);
    close(outPipe[0]);
    close(errPipe[0]);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class OutputAccess : public ::testing::Test {
protected:
    OutputAccess() {
        const double gains[] = {1.0, 2.0, 0.5};
        for (int i = 0; i < 3; ++i) {
            photos.push_back(dir.File("p" + std::to_string(i) + ".jpg"));
            WriteFile(photos.back(), TexturedExposureJpeg(128, 100, gains[i]));
            chmod(photos.back().c_str(), 0644);
        }
        // The folder is the user's own, as their photos' folder would be.
        if (geteuid() == 0) chown(dir.Path().c_str(), kNobody, kNobody);
        chmod(dir.Path().c_str(), 0755);
    }

    std::vector<std::string> Args(const std::string &output) const {
        return {"-v", "-o", output, photos[0], photos[1], photos[2]};
    }

    int RunHere(const std::string &output) {
        std::ostringstream outStream, errStream;
        const int code = tonefold::RunMergeProgram(Args(output), outStream, errStream);
        out = outStream.str();
        err = errStream.str();
        return code;
    }

    // A file of old bytes with the mode, owned by the user the program runs as.
    std::string OldFile(const std::string &name, mode_t mode) {
        const std::string path = dir.File(name);
        WriteFile(path, kOld);
        if (geteuid() == 0) chown(path.c_str(), kNobody, kNobody);
        chmod(path.c_str(), mode);
        return path;
    }

    const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
    ScratchDir dir;
    std::vector<std::string> photos;
    std::string out;
    std::string err;
};

TEST_F(OutputAccess, AnOutputTheUserMayNotWriteIsRefusedBeforeAnyWorkAndLeftAsItWas) {
    const std::string readOnly = OldFile("ro.jpg", 0444);
    const std::string link = dir.File("to-ro.jpg");
    ASSERT_EQ(symlink("ro.jpg", link.c_str()), 0);
    // Another user's file the user may read, in the user's own folder.
    const std::string others = dir.File("others.png");
    WriteFile(others, kOld);
    ASSERT_EQ(chmod(others.c_str(), 0644), 0);
    const bool asRoot = geteuid() == 0;
    const std::string denied = std::strerror(EACCES);
    struct Case {
        std::string output;
        std::string message;
        bool needsRoot;  // another user's file exists only when the test can make one
    };
    const Case cases[] = {
        {readOnly, readOnly + ": cannot be replaced: " + denied, false},
        {link, link + ": leads to " + dir.File("ro.jpg") + ", which cannot be replaced: " + denied,
         false},
        {others, others + ": cannot be replaced: " + denied, true},
    };
    const std::vector<std::string> before = dir.Entries();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output);
        if (c.needsRoot && !asRoot) continue;
        const ChildRun run = RunAsUser(dir.Path(), Args(c.output));
        if (run.code == kCannotDrop) GTEST_SKIP() << "cannot run the program as another user";
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "tonefold-merge: " + c.message + "\n");
        EXPECT_EQ(run.out.find("decode"), std::string::npos) << "refused before any work";
    }
    EXPECT_EQ(ReadFile(readOnly), kOld);
    EXPECT_EQ(ReadFile(others), kOld);
    EXPECT_EQ(dir.Entries(), before);
    struct stat info {};
    ASSERT_EQ(stat(readOnly.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);

    // The same user may replace a file of theirs they may write.
    const std::string writable = OldFile("rw.jpg", 0640);
    const ChildRun run = RunAsUser(dir.Path(), Args(writable));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(ReadFile(writable), kOld);
}

TEST_F(OutputAccess, RootMayReplaceAWriteProtectedFileWhichKeepsItsOwnerGroupAndMode) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to own another user's file";
    struct Case {
        const char *name;
        mode_t mode;
    };
    // A user's private picture and a write-protected one, both replaced by root.
    for (const Case &c : {Case{"private.png", 0600}, Case{"protected.jpg", 0444}}) {
        SCOPED_TRACE(c.name);
        const std::string path = OldFile(c.name, c.mode);
        ASSERT_EQ(RunHere(path), 0) << err;
        EXPECT_NE(ReadFile(path), kOld);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kNobody);
        EXPECT_EQ(info.st_gid, kNobody);
        EXPECT_EQ(info.st_mode & 07777, c.mode);
    }
    // A new file is root's own.
    ASSERT_EQ(RunHere(dir.File("new.png")), 0) << err;
    struct stat made {};
    ASSERT_EQ(stat(dir.File("new.png").c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, 0u);
}

TEST_F(OutputAccess, ALinkWhoseFileIsNamedForAnotherFormatOrNoneIsRefusedBeforeAnyWork) {
    WriteFile(dir.File("t.png"), kOld);
    WriteFile(dir.File("t3.txt"), kOld);
    WriteFile(dir.File("plain"), kOld);
    struct Case {
        const char *link;
        const char *leadsTo;
        const char *reason;  // after "leads to <file>, which "
    };
    const Case cases[] = {
        {"lnk.jpg", "t.png", "is named as a PNG file, not a JPEG one"},
        {"lnk3.png", "t3.txt", "is not named .jpg, .jpeg or .png"},
        {"lnk4.png", "plain", "is not named .jpg, .jpeg or .png"},
        // A dangling link would create its file: the name of that file is judged alike.
        {"dangling.jpg", "new.png", "is named as a PNG file, not a JPEG one"},
        // Through a chain, the file at its end is the one written.
        {"chain.jpg", "lnk3.png", "is not named .jpg, .jpeg or .png"},
        {"chain2.jpg", "dangling.jpg", "is named as a PNG file, not a JPEG one"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(symlink(c.leadsTo, dir.File(c.link).c_str()), 0);
    }
    const std::vector<std::string> before = dir.Entries();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.link);
        std::string end = c.leadsTo;
        char text[256] = {};
        while (readlink(dir.File(end).c_str(), text, sizeof text - 1) > 0) {
            end = text;
            std::memset(text, 0, sizeof text);
        }
        EXPECT_EQ(RunHere(dir.File(c.link)), 1);
        EXPECT_EQ(err, "tonefold-merge: " + dir.File(c.link) + ": leads to " + dir.File(end) +
                           ", which " + c.reason + "\n");
        EXPECT_EQ(out.find("decode"), std::string::npos) << "refused before any work";
    }
    EXPECT_EQ(dir.Entries(), before);
    for (const char *name : {"t.png", "t3.txt", "plain"}) EXPECT_EQ(ReadFile(dir.File(name)), kOld);

    // Names of one format agree whatever their spelling, and through a chain whose middle
    // link is named otherwise.
    WriteFile(dir.File("t.JPEG"), kOld);
    ASSERT_EQ(symlink("t.JPEG", dir.File("mid.png").c_str()), 0);
    ASSERT_EQ(symlink("mid.png", dir.File("agrees.jpg").c_str()), 0);
    ASSERT_EQ(RunHere(dir.File("agrees.jpg")), 0) << err;
    const std::vector<uint8_t> written = ReadFile(dir.File("t.JPEG"));
    ASSERT_GT(written.size(), 3u);
    EXPECT_EQ(written[0], 0xFF);
    EXPECT_EQ(written[1], 0xD8);
}

}  // namespace
