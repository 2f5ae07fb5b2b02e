#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "merge/photo_support.h"
#include "merge_program.h"

using namespace photo_support;
using tonefold::MergeOptions;
using tonefold::ParseMergeOptions;

namespace {

TEST(MergeOptions, DefaultsAndEveryOptionInBothSpellings) {
    MergeOptions defaults;
    std::string message;
    ASSERT_TRUE(ParseMergeOptions({"-o", "out.jpg", "a", "b", "c"}, &defaults, &message));
    EXPECT_EQ(defaults.ghostLevel, 6);
    EXPECT_EQ(defaults.toneLength, 45);
    EXPECT_EQ(defaults.brightness, 10);
    EXPECT_EQ(defaults.toneSaturation, 40);
    EXPECT_FALSE(defaults.verbose);
    EXPECT_EQ(defaults.output, "out.jpg");
    EXPECT_EQ(defaults.photos, (std::vector<std::string>{"a", "b", "c"}));

    MergeOptions set;
    ASSERT_TRUE(ParseMergeOptions(
        {"a", "-g0", "-t", "100", "-b-100", "-s", "0", "-q1", "b", "-v", "-oout.png", "--", "-c"},
        &set, &message))
        << message;
    EXPECT_EQ(set.ghostLevel, 0);
    EXPECT_EQ(set.toneLength, 100);
    EXPECT_EQ(set.brightness, -100);
    EXPECT_EQ(set.toneSaturation, 0);
    EXPECT_EQ(set.quality, 1);
    EXPECT_TRUE(set.verbose);
    EXPECT_EQ(set.output, "out.png");
    EXPECT_EQ(set.photos, (std::vector<std::string>{"a", "b", "-c"}));
}

TEST(MergeOptions, BadValuesAndCountsAreRefusedWithTheirReason) {
    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    const Case cases[] = {
        {{"-g", "11", "-o", "o.jpg", "a", "b", "c"}, "-g '11'"},
        {{"-t", "-1", "-o", "o.jpg", "a", "b", "c"}, "-t '-1'"},
        {{"-b", "101", "-o", "o.jpg", "a", "b", "c"}, "-b '101'"},
        {{"-s", "4x", "-o", "o.jpg", "a", "b", "c"}, "-s '4x'"},
        {{"-q", "0", "-o", "o.jpg", "a", "b", "c"}, "-q '0'"},
        {{"-t", "", "-o", "o.jpg", "a", "b", "c"}, "-t ''"},
        {{"-t", "99999999999", "-o", "o.jpg", "a", "b", "c"}, "whole number from 0 to 100"},
        {{"-o", "o.jpg", "a", "b", "c", "-s"}, "-s needs a value"},
        {{"-x", "-o", "o.jpg", "a", "b", "c"}, "unknown option -x"},
        {{"a", "b", "c"}, "no output file"},
        {{"-o", "o.jpg", "a", "b"}, "exactly three photos, got 2"},
        {{"-o", "o.jpg", "a", "b", "c", "d"}, "exactly three photos, got 4"},
    };
    for (const Case &c : cases) {
        MergeOptions options;
        std::string message;
        EXPECT_FALSE(ParseMergeOptions(c.args, &options, &message)) << c.message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
}

// Three exposures of one textured scene: luma scaled by 0.5, 1 and 2.
std::vector<uint8_t> Exposure(int width, int height, double gain, int orientation = 1,
                              int subsampling = TJSAMP_420) {
    std::vector<uint8_t> jpeg = TexturedExposureJpeg(width, height, gain, subsampling);
    return orientation == 1 ? jpeg : WithOrientation(jpeg, orientation);
}

class MergeProgram : public ::testing::Test {
protected:
    // Writes dark, mid and bright exposures of width x height and returns their paths.
    std::vector<std::string> WriteBracket(int width, int height) {
        const char *names[] = {"mid.jpg", "bright.jpg", "dark.jpg"};
        const double gains[] = {1.0, 2.0, 0.5};
        std::vector<std::string> paths;
        for (int i = 0; i < 3; ++i) {
            paths.push_back(dir.File(names[i]));
            WriteFile(paths.back(), Exposure(width, height, gains[i]));
        }
        return paths;
    }

    int Run(std::vector<std::string> args) {
        std::ostringstream outStream, errStream;
        const int code = tonefold::RunMergeProgram(args, outStream, errStream);
        out = outStream.str();
        err = errStream.str();
        return code;
    }

    ScratchDir dir;
    std::string out;
    std::string err;
};

TEST_F(MergeProgram, BadInputGivesOneLineNamingTheFileAndLeavesTheOutputAlone) {
    const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
    struct Case {
        const char *name;
        // Files to write besides the default bracket of 128x100 photos a.jpg, b.jpg, c.jpg.
        std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
        std::vector<std::string> args;  // paths are relative to the scratch folder
        int exitCode;
        std::string message;
    };
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'};
    const Case cases[] = {
        {"missing photo",
         {},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "gone.jpg"},
         1,
         "gone.jpg: No such file or directory"},
        {"undecodable photo",
         {{"c.jpg", text}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "c.jpg: is not a JPEG or PNG file"},
        {"truncated photo",
         {{"c.jpg", Prefix(Exposure(128, 100, 1.0), 600)}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "c.jpg: is truncated"},
        {"half a photo closed by an end marker",
         {{"c.jpg", [] {
               std::vector<uint8_t> half = Exposure(128, 100, 1.0);
               half.resize(half.size() / 2);
               half.insert(half.end(), {0xFF, 0xD9});
               return half;
           }()}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "c.jpg: is truncated"},
        {"two photos", {}, {"-o", "out.jpg", "a.jpg", "b.jpg"}, 2, "got 2"},
        {"four photos", {}, {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg", "a.jpg"}, 2, "got 4"},
        {"different sizes",
         {{"c.jpg", Exposure(128, 104, 1.0)}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "c.jpg: is 128x104 upright, but"},
        {"the first photo is the odd one",
         {{"a.jpg", Exposure(127, 100, 1.0)}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "a.jpg: is 127x100 upright, but"},
        {"sizes differ once upright",
         {{"b.jpg", Exposure(128, 100, 1.0, 6)}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "b.jpg: is 100x128 upright, but"},
        {"smaller than the engine's frame",
         {{"a.jpg", Exposure(95, 100, 1.0)},
          {"b.jpg", Exposure(95, 100, 2.0)},
          {"c.jpg", Exposure(95, 100, 0.5)}},
         {"-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "a.jpg: is 95x100, smaller than the 96x96"},
        {"unwritable output",
         {},
         {"-o", "no/such/out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "no/such/out.jpg: cannot be written"},
        {"unknown extension",
         {},
         {"-o", "out.bmp", "a.jpg", "b.jpg", "c.jpg"},
         1,
         "out.bmp: unknown output extension"},
        {"bad option value",
         {},
         {"-g", "12", "-o", "out.jpg", "a.jpg", "b.jpg", "c.jpg"},
         2,
         "-g '12'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir caseDir;
        WriteFile(caseDir.File("a.jpg"), Exposure(128, 100, 1.0));
        WriteFile(caseDir.File("b.jpg"), Exposure(128, 100, 2.0));
        WriteFile(caseDir.File("c.jpg"), Exposure(128, 100, 0.5));
        WriteFile(caseDir.File("out.jpg"), kOld);
        WriteFile(caseDir.File("out.bmp"), kOld);
        for (const auto &[name, bytes] : c.files) WriteFile(caseDir.File(name), bytes);
        const std::vector<std::string> before = caseDir.Entries();
        std::vector<std::string> args = c.args;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].find('.') != std::string::npos) args[i] = caseDir.File(args[i]);
        }
        EXPECT_EQ(Run(args), c.exitCode);
        const std::string firstLine = err.substr(0, err.find('\n'));
        EXPECT_NE(firstLine.find("tonefold-merge: "), std::string::npos) << err;
        EXPECT_NE(firstLine.find(c.message), std::string::npos) << err;
        if (c.exitCode == 1) {
            EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
        }
        EXPECT_EQ(ReadFile(caseDir.File("out.jpg")), kOld);
        EXPECT_EQ(caseDir.Entries(), before);  // nothing added, nothing left behind
    }
}

TEST_F(MergeProgram, MergesABracketIntoAPictureOfThePhotosUprightSize) {
    // An odd upright width: the records are padded to 4 pixels and the output is cropped back.
    const std::vector<std::string> photos = WriteBracket(203, 150);
    for (const char *name : {"merged.jpg", "merged.png"}) {
        SCOPED_TRACE(name);
        const std::string output = dir.File(name);
        const int code = Run({"-v", "-o", output, photos[0], photos[1], photos[2]});
        EXPECT_NE(out.find("read (three in parallel)"), std::string::npos) << out;
        EXPECT_NE(out.find("decode " + photos[0]), std::string::npos) << out;
        if (code != 0 &&
            err.find("merge failed: RESULT_UNSUPPORTED_FORMAT (3)") != std::string::npos) {
            EXPECT_EQ(dir.Entries().size(), 3u);  // no output, no temporary
            GTEST_SKIP() << "the engine's run driver is not there yet";
        }
        ASSERT_EQ(code, 0) << err;
        EXPECT_TRUE(err.empty()) << err;
        for (const char *step : {"merge progress 5%", "merge ", "encode", "peak memory"}) {
            EXPECT_NE(out.find(step), std::string::npos) << step << " in " << out;
        }
        // ru_maxrss counts kibibytes: the peak is given in mebibytes, and said so.
        EXPECT_NE(out.find(" MiB\n", out.find("peak memory")), std::string::npos) << out;
        // One line per step.
        std::istringstream lines(out);
        std::vector<std::string> steps;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("merge progress ", 0) == 0) {
                steps.push_back(line.substr(0, line.find('%')));
            }
        }
        EXPECT_GT(steps.size(), 3u);
        for (size_t i = 1; i < steps.size(); ++i) EXPECT_NE(steps[i], steps[i - 1]) << out;
        const std::vector<uint8_t> bytes = ReadFile(output);
        tonefold::YuyvImage merged;
        std::string reason;
        ASSERT_TRUE(tonefold::DecodePhoto(bytes.data(), bytes.size(), &merged, &reason)) << reason;
        EXPECT_EQ(merged.width, 203);
        EXPECT_EQ(merged.height, 150);
    }
}

TEST_F(MergeProgram, TheSmallestBracketMerges) {
    const std::vector<std::string> photos = WriteBracket(96, 96);
    const std::string output = dir.File("small.png");
    ASSERT_EQ(Run({"-o", output, photos[0], photos[1], photos[2]}), 0) << err;
    EXPECT_TRUE(err.empty()) << err;
    const std::vector<uint8_t> bytes = ReadFile(output);
    tonefold::YuyvImage merged;
    std::string reason;
    ASSERT_TRUE(tonefold::DecodePhoto(bytes.data(), bytes.size(), &merged, &reason)) << reason;
    EXPECT_EQ(merged.width, 96);
    EXPECT_EQ(merged.height, 96);
}

TEST_F(MergeProgram, TheSamePhotosInAnyOrderGiveTheSameBytes) {
    const std::vector<std::string> p = WriteBracket(160, 120);
    const std::vector<std::vector<std::string>> orders = {
        {p[0], p[1], p[2]}, {p[2], p[0], p[1]}, {p[1], p[2], p[0]}};
    std::vector<uint8_t> first;
    for (const std::vector<std::string> &order : orders) {
        const std::string output = dir.File("order.png");
        ASSERT_EQ(Run({"-o", output, order[0], order[1], order[2]}), 0) << err;
        const std::vector<uint8_t> bytes = ReadFile(output);
        if (first.empty()) first = bytes;
        EXPECT_EQ(bytes, first);
    }
}

TEST_F(MergeProgram, PhotosOfEqualExposureGiveTheSameBytesInEitherOrder) {
    // One exposure saved at two chroma samplings: the same luma, so the same measured
    // exposure, but not the same picture.
    const std::string a = dir.File("a.jpg"), b = dir.File("b.jpg"), c = dir.File("c.jpg");
    WriteFile(a, Exposure(160, 120, 1.0, 1, TJSAMP_420));
    WriteFile(b, Exposure(160, 120, 1.0, 1, TJSAMP_444));
    WriteFile(c, Exposure(160, 120, 2.0));
    const std::vector<std::vector<std::string>> orders = {
        {a, b, c}, {b, a, c}, {c, b, a}, {a, c, b}, {b, c, a}, {c, a, b}};
    std::vector<uint8_t> first;
    for (const std::vector<std::string> &order : orders) {
        const std::string output = dir.File("tie.png");
        ASSERT_EQ(Run({"-o", output, order[0], order[1], order[2]}), 0) << err;
        const std::vector<uint8_t> bytes = ReadFile(output);
        if (first.empty()) first = bytes;
        EXPECT_EQ(bytes, first) << order[0] << " " << order[1] << " " << order[2];
    }
}

TEST_F(MergeProgram, APhotoItsHeaderRefusesIsRefusedBeforeAnyPhotoIsDecoded) {
    const std::vector<std::string> photos = WriteBracket(128, 100);
    // The first photo's fault shows only while it decodes; the last one's header announces
    // 120 megapixels.
    std::vector<uint8_t> half = Exposure(128, 100, 1.0);
    half.resize(half.size() / 2);
    half.insert(half.end(), {0xFF, 0xD9});
    WriteFile(photos[0], half);
    std::vector<uint8_t> large = Exposure(128, 100, 0.5);
    const uint8_t kFrameMarker[] = {0xFF, 0xC0};
    const auto frame = std::search(large.begin(), large.end(), std::begin(kFrameMarker),
                                   std::end(kFrameMarker));
    ASSERT_NE(frame, large.end());
    const uint8_t size[4] = {0x27, 0x10, 0x2E, 0xE0};  // 10000 rows of 12000 pixels
    std::copy(size, size + 4, frame + 5);
    WriteFile(photos[2], large);
    EXPECT_EQ(Run({"-v", "-o", dir.File("out.jpg"), photos[0], photos[1], photos[2]}), 1);
    EXPECT_EQ(err, "tonefold-merge: " + photos[2] +
                       ": is too large (12000x10000, at most 100 megapixels)\n");
}

TEST_F(MergeProgram, AnOutputThatIsOneOfThePhotosIsRefusedUnderAnySpelling) {
    const std::vector<std::string> photos = WriteBracket(128, 100);
    const std::vector<uint8_t> dark = ReadFile(photos[2]);
    ASSERT_EQ(link(photos[2].c_str(), dir.File("hard.jpg").c_str()), 0);
    ASSERT_EQ(symlink(photos[2].c_str(), dir.File("soft.jpg").c_str()), 0);
    const std::vector<std::string> before = dir.Entries();
    for (const std::string &output :
         {photos[2], dir.Path() + "/./dark.jpg", dir.File("hard.jpg"), dir.File("soft.jpg")}) {
        SCOPED_TRACE(output);
        EXPECT_EQ(Run({"-v", "-o", output, photos[0], photos[1], photos[2]}), 1);
        EXPECT_EQ(err, "tonefold-merge: " + output + ": is the same file as the photo " +
                           photos[2] + ", which the merge would replace (choose another output)\n");
        EXPECT_EQ(out.find("decode"), std::string::npos) << "refused before any work";
        EXPECT_EQ(ReadFile(photos[2]), dark);
        EXPECT_EQ(dir.Entries(), before);
    }
}

TEST_F(MergeProgram, AJpegOutputTooLargeForTheFormatIsRefusedBeforeTheMerge) {
    std::vector<std::string> photos;
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> grey(static_cast<size_t>(96) * 65535);
        for (size_t k = 0; k < grey.size(); ++k) {
            grey[k] = static_cast<uint8_t>(40 + 60 * i + k % 7);
        }
        photos.push_back(dir.File("tall" + std::to_string(i) + ".png"));
        WriteFile(photos.back(), EncodePng(grey, 96, 65535, PNG_FORMAT_GRAY));
    }
    EXPECT_EQ(Run({"-v", "-o", dir.File("tall.jpg"), photos[0], photos[1], photos[2]}), 1);
    EXPECT_EQ(err, "tonefold-merge: " + dir.File("tall.jpg") +
                       ": a JPEG holds at most 65500 pixels a side, and the merged picture would "
                       "be 96x65535 (use .png)\n");
    EXPECT_EQ(out.find("merge progress"), std::string::npos) << out;
}

// Runs the built program through the shell; returns its exit status and its error output.
int RunExecutable(const ScratchDir &dir, const std::string &args, std::string *errors,
                  const std::string &prefix = "") {
    const std::string errFile = dir.File("stderr.txt");
    const std::string command = prefix + "'" + TONEFOLD_MERGE_EXECUTABLE + "' " + args +
                                " >/dev/null 2>'" + errFile + "'";
    const int status = std::system(command.c_str());
    const std::vector<uint8_t> bytes = ReadFile(errFile);
    errors->assign(bytes.begin(), bytes.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(MergeProgram, TheExecutableExitsWithTheProgramsCodes) {
    std::string errors;
    EXPECT_EQ(RunExecutable(dir, "-h", &errors), 0);
    EXPECT_EQ(RunExecutable(dir, "", &errors), 2);
    EXPECT_NE(errors.find("usage:"), std::string::npos) << errors;
    const std::vector<std::string> photos = WriteBracket(120, 100);
    EXPECT_EQ(RunExecutable(dir,
                            "-o '" + dir.File("o.jpg") + "' '" + photos[0] + "' '" + photos[1] +
                                "' '" + dir.File("gone.png") + "'",
                            &errors),
              1);
    EXPECT_EQ(errors, "tonefold-merge: " + dir.File("gone.png") + ": No such file or directory\n");
}

TEST_F(MergeProgram, SpecialFilesGivenAsPhotosAreRefusedWithoutWaiting) {
    const std::vector<std::string> photos = WriteBracket(120, 100);
    ASSERT_EQ(mkfifo(dir.File("pipe.jpg").c_str(), 0600), 0);
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder.jpg")));
    WriteFile(dir.File("out.jpg"), {'o', 'l', 'd'});
    for (const char *name : {"pipe.jpg", "folder.jpg"}) {
        SCOPED_TRACE(name);
        const std::vector<std::string> before = dir.Entries();
        std::string errors;
        // timeout ends a program that waits on the pipe: the test fails instead of hanging.
        const std::string args = "-o '" + dir.File("out.jpg") + "' '" + photos[0] + "' '" +
                                 dir.File(name) + "' '" + photos[2] + "'";
        EXPECT_EQ(RunExecutable(dir, args, &errors, "timeout 30 "), 1);
        EXPECT_EQ(errors, "tonefold-merge: " + dir.File(name) + ": is not a regular file\n");
        std::vector<std::string> after = dir.Entries();
        after.erase(std::remove(after.begin(), after.end(), "stderr.txt"), after.end());
        std::vector<std::string> expected = before;
        expected.erase(std::remove(expected.begin(), expected.end(), "stderr.txt"), expected.end());
        EXPECT_EQ(after, expected);
        EXPECT_EQ(ReadFile(dir.File("out.jpg")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
}

TEST_F(MergeProgram, AnInterruptedRunLeavesNoTemporaryAndTheOutputWholeOrAsItWas) {
    const std::vector<std::string> photos = WriteBracket(640, 480);
    const std::string output = dir.File("out.png");
    const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
    const int kDelaysMs[] = {1, 3, 6, 10, 15, 20, 30, 40, 60, 80, 120, 160, 240, 320};
    // Ctrl+C, kill, a closed terminal, Ctrl+backslash, a closed pipe and the user signals.
    const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2};
    int interrupted = 0;
    for (size_t k = 0; k < std::size(kDelaysMs); ++k) {
        const int signal = kSignals[k % std::size(kSignals)];
        SCOPED_TRACE(kDelaysMs[k]);
        WriteFile(output, kOld);
        const pid_t child = fork();
        if (child == 0) {
            const struct rlimit noCore {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT would dump one
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            dup2(quiet, 2);
            execl(TONEFOLD_MERGE_EXECUTABLE, "tonefold-merge", "-o", output.c_str(),
                  photos[0].c_str(), photos[1].c_str(), photos[2].c_str(), nullptr);
            _exit(127);
        }
        usleep(static_cast<useconds_t>(kDelaysMs[k]) * 1000);
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), signal);
            ++interrupted;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        EXPECT_EQ(dir.Entries(),
                  (std::vector<std::string>{"bright.jpg", "dark.jpg", "mid.jpg", "out.png"}));
        const std::vector<uint8_t> bytes = ReadFile(output);
        tonefold::YuyvImage merged;
        std::string reason;
        EXPECT_TRUE(bytes == kOld || tonefold::DecodePhoto(bytes.data(), bytes.size(), &merged,
                                                           &reason))
            << reason;
    }
    EXPECT_GT(interrupted, 0);
}

}  // namespace
