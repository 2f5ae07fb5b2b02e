// The merge program's output file: what it may replace, where a link leads it, long names and
// the mode of a new file.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "merge/photo_support.h"
#include "merge_program.h"

using namespace photo_support;

namespace {

std::vector<std::string> EntriesOf(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsPng(const std::vector<uint8_t> &bytes) {
    return bytes.size() > 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N';
}

class MergeOutput : public ::testing::Test {
protected:
    MergeOutput() {
        const double gains[] = {1.0, 2.0, 0.5};
        for (int i = 0; i < 3; ++i) {
            photos.push_back(photoDir.File("p" + std::to_string(i) + ".jpg"));
            WriteFile(photos.back(), TexturedExposureJpeg(128, 100, gains[i]));
        }
    }

    int Run(const std::string &output) {
        std::ostringstream outStream, errStream;
        const int code = tonefold::RunMergeProgram(
            {"-v", "-o", output, photos[0], photos[1], photos[2]}, outStream, errStream);
        out = outStream.str();
        err = errStream.str();
        return code;
    }

    ScratchDir photoDir;
    ScratchDir dir;
    std::vector<std::string> photos;
    std::string out;
    std::string err;
};

int BindSocket(const std::string &path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST_F(MergeOutput, AFifoADeviceOrASocketIsRefusedBeforeAnyWorkAndKept) {
    ASSERT_EQ(mkfifo(dir.File("fifo.jpg").c_str(), 0600), 0);
    const int socketFd = BindSocket(dir.File("socket.png"));
    ASSERT_GE(socketFd, 0);
    std::vector<std::string> names = {"fifo.jpg", "socket.png"};
    // A device node needs root: /dev/full's numbers, harmless if it were ever written.
    if (mknod(dir.File("full.jpg").c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0) {
        names.push_back("full.jpg");
    }
    ASSERT_EQ(symlink("fifo.jpg", dir.File("to-fifo.jpg").c_str()), 0);
    const std::vector<std::string> before = dir.Entries();
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        struct stat was {};
        ASSERT_EQ(lstat(dir.File(name).c_str(), &was), 0);
        EXPECT_EQ(Run(dir.File(name)), 1);
        EXPECT_EQ(err, "tonefold-merge: " + dir.File(name) + ": is not a regular file\n");
        EXPECT_EQ(out.find("decode"), std::string::npos) << "refused before any work";
        struct stat is {};
        ASSERT_EQ(lstat(dir.File(name).c_str(), &is), 0);
        EXPECT_EQ(is.st_mode, was.st_mode);
        EXPECT_EQ(is.st_rdev, was.st_rdev);
    }
    EXPECT_EQ(Run(dir.File("to-fifo.jpg")), 1);
    EXPECT_EQ(err, "tonefold-merge: " + dir.File("to-fifo.jpg") + ": leads to " +
                       dir.File("fifo.jpg") + ", which is not a regular file\n");
    EXPECT_EQ(dir.Entries(), before);
    close(socketFd);
}

TEST_F(MergeOutput, ALinkKeepsItsPlaceAndTheFileItLeadsToIsWritten) {
    ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.File("links").c_str(), 0755), 0);
    WriteFile(dir.File("real/old.png"), {'o', 'l', 'd'});
    ASSERT_EQ(chmod(dir.File("real/old.png").c_str(), 0600), 0);
    struct Case {
        const char *link;
        const char *leadsTo;  // as the link holds it
        const char *written;  // the file that gets the picture
    };
    // Relative link texts resolve from the link's folder, not the current one.
    const Case cases[] = {
        {"links/absolute.png", nullptr, "real/old.png"},
        {"links/relative.png", "../real/old.png", "real/old.png"},
        {"links/dangling.png", "../real/new.png", "real/new.png"},
        {"links/chain.png", "relative.png", "real/old.png"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.link);
        const std::string text = c.leadsTo ? c.leadsTo : dir.File("real/old.png");
        const std::string link = dir.File(c.link);
        ASSERT_EQ(symlink(text.c_str(), link.c_str()), 0);
        WriteFile(dir.File("real/old.png"), {'o', 'l', 'd'});

        ASSERT_EQ(Run(link), 0) << err;
        EXPECT_TRUE(IsPng(ReadFile(dir.File(c.written))));
        struct stat info {};
        ASSERT_EQ(lstat(link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode));
        char held[4096] = {};
        ASSERT_GT(readlink(link.c_str(), held, sizeof held - 1), 0);
        EXPECT_EQ(std::string(held), text);
    }
    struct stat replaced {};
    ASSERT_EQ(stat(dir.File("real/old.png").c_str(), &replaced), 0);
    EXPECT_EQ(replaced.st_mode & 07777, 0600u);  // a replaced file keeps its mode
    // No temporary beside the link or the file.
    EXPECT_EQ(EntriesOf(dir.File("real")),
              (std::vector<std::string>{"new.png", "old.png"}));
    EXPECT_EQ(EntriesOf(dir.File("links")),
              (std::vector<std::string>{"absolute.png", "chain.png", "dangling.png",
                                        "relative.png"}));
}

TEST_F(MergeOutput, ALongNameIsWrittenAndATooLongOneIsRefusedBeforeAnyWork) {
    // 250 bytes is a valid name, though the temporary's suffix would pass the 255-byte limit.
    const std::string longName = std::string(246, 'n') + ".png";
    ASSERT_EQ(Run(dir.File(longName)), 0) << err;
    EXPECT_TRUE(IsPng(ReadFile(dir.File(longName))));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{longName});

    // The same name in UTF-8 letters of two bytes: the temporary's name is cut between letters.
    std::string wide;
    while (wide.size() < 246) wide += "\xc3\xa9";
    wide += ".png";
    ASSERT_EQ(Run(dir.File(wide)), 0) << err;
    EXPECT_EQ(dir.Entries().size(), 2u);

    const std::string tooLong = std::string(252, 'n') + ".png";
    EXPECT_EQ(Run(dir.File(tooLong)), 1);
    EXPECT_EQ(err, "tonefold-merge: " + dir.File(tooLong) + ": cannot be written: " +
                       std::strerror(ENAMETOOLONG) + "\n");
    EXPECT_EQ(out.find("decode"), std::string::npos) << "refused before any work";
    EXPECT_EQ(dir.Entries().size(), 2u);
}

TEST_F(MergeOutput, ANewFileGetsReadAndWriteLessTheUmaskAndIsNeverExecutable) {
    const mode_t saved = umask(0);
    const std::pair<mode_t, mode_t> cases[] = {{022, 0644}, {027, 0640}, {0, 0666}};
    for (const auto &[mask, mode] : cases) {
        SCOPED_TRACE(mask);
        const std::string output = dir.File("new" + std::to_string(mask) + ".jpg");
        umask(mask);
        const int code = Run(output);
        umask(0);
        ASSERT_EQ(code, 0) << err;
        struct stat info {};
        ASSERT_EQ(stat(output.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
    umask(saved);
}

}  // namespace
