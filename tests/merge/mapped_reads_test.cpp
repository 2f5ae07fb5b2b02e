// A photo shortened by another process while it is mapped and read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "atomic_file.h"
#include "mapped_reads.h"
#include "merge/fault_status.h"
#include "merge/photo_support.h"
#include "merge_program.h"

using namespace photo_support;
using tonefold::MappedReadGuard;

namespace {

using fault_status::EndedByFault;

constexpr size_t kFileSize = 16 * 4096;

// Maps a file of kFileSize bytes of 0xAB read-only, as the photo reader does.
const uint8_t *MapFile(const std::string &path) {
    WriteFile(path, std::vector<uint8_t>(kFileSize, 0xAB));
    const int fd = open(path.c_str(), O_RDONLY);
    void *bytes = mmap(nullptr, kFileSize, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    return bytes == MAP_FAILED ? nullptr : static_cast<const uint8_t *>(bytes);
}

TEST(MappedReadGuard, PagesTheFileLostReadAsZerosAndTheChangeIsReported) {
    ScratchDir dir;
    const std::string path = dir.File("photo.jpg");
    const uint8_t *bytes = MapFile(path);
    ASSERT_NE(bytes, nullptr);
    {
        const MappedReadGuard guard(bytes, kFileSize);
        EXPECT_EQ(bytes[kFileSize - 1], 0xAB);
        EXPECT_FALSE(guard.Changed());
        ASSERT_EQ(truncate(path.c_str(), 3 * 4096), 0);
        size_t kept = 0, zeros = 0;
        for (size_t i = 0; i < kFileSize; ++i) {
            kept += bytes[i] == 0xAB;
            zeros += bytes[i] == 0;
        }
        EXPECT_EQ(kept, 3u * 4096);
        EXPECT_EQ(zeros, kFileSize - 3 * 4096);
        EXPECT_TRUE(guard.Changed());
    }
    munmap(const_cast<uint8_t *>(bytes), kFileSize);
}

// As in the merge program: the temporary's cleanup is set first, the guard's handler after.
TEST(MappedReadGuard, AnyOtherBusErrorStillEndsTheProgramByItAndRemovesTheTemporary) {
    ScratchDir dir;
    const std::string path = dir.File("photo.jpg");
    const pid_t child = fork();
    if (child == 0) {
        tonefold::AtomicFile::RemoveTemporaryOnSignals();
        tonefold::AtomicFile output;
        std::string reason;
        if (!output.Open(dir.File("out.png"), &reason)) _exit(2);
        const uint8_t *bytes = MapFile(path);
        if (truncate(path.c_str(), 0) != 0) _exit(2);
        {
            const MappedReadGuard guarded(bytes, kFileSize);
            if (bytes[100] != 0 || !guarded.Changed()) _exit(3);
        }
        const uint8_t *again = MapFile(path);
        if (truncate(path.c_str(), 0) != 0) _exit(2);
        _exit(again[100] == 0xAB ? 4 : 5);  // unguarded: not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(EndedByFault(status, SIGBUS)) << status;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"photo.jpg"});
}

// The photo to shorten the moment it is mapped, found by its size among the three.
std::string victimPath;
size_t victimSize = 0;

void ShortenTheVictim(const void *, size_t size) {
    if (size == victimSize) truncate(victimPath.c_str(), 1000);
}

TEST(MappedReadGuard, APhotoShortenedWhileReadIsRefusedInOneLineNamingIt) {
    ScratchDir dir;
    std::vector<std::string> photos;
    for (int i = 0; i < 3; ++i) {
        photos.push_back(dir.File("p" + std::to_string(i) + ".jpg"));
        WriteFile(photos.back(),
                  EncodePlanesAsJpeg(MakeScenePlanes(640 + 8 * i, 480, TJSAMP_420), 90 + i));
    }
    victimPath = photos[1];
    victimSize = ReadFile(victimPath).size();
    for (const std::string &other : {photos[0], photos[2]}) {
        ASSERT_NE(ReadFile(other).size(), victimSize);
    }
    const std::vector<std::string> before = dir.Entries();
    tonefold::SetMappedReadHookForTesting(ShortenTheVictim);
    std::ostringstream out, err;
    const int code = tonefold::RunMergeProgram(
        {"-o", dir.File("out.png"), photos[0], photos[1], photos[2]}, out, err);
    tonefold::SetMappedReadHookForTesting(nullptr);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(err.str(), "tonefold-merge: " + photos[1] + ": changed while it was read\n");
    EXPECT_EQ(dir.Entries(), before);
}

}  // namespace
