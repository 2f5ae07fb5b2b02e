// What the merge program tells before any photo is decoded, and how it prints names: sizes the
// headers show, names holding control characters, a photo given more than once.
#include <gtest/gtest.h>

#include <sstream>

#include "merge/photo_support.h"
#include "merge_program.h"

using namespace photo_support;

namespace {

std::vector<uint8_t> BigEndian(uint32_t value) {
    return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

enum class ExifAt { kNone, kBeforePixels, kAfterPixels };

// A grey PNG whose header is sound and whose compressed pixels are garbage: only decoding it
// can fail, so a refusal that names its size came before any decoding.
std::vector<uint8_t> PngOfGarbage(uint32_t width, uint32_t height, ExifAt exifAt = ExifAt::kNone,
                                  int orientation = 6) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header = BigEndian(width);
    const std::vector<uint8_t> rows = BigEndian(height);
    header.insert(header.end(), rows.begin(), rows.end());
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, not interlaced
    AppendChunk(png, "IHDR", header);
    const std::vector<uint8_t> exif = TiffWithOrientation(orientation, false);
    if (exifAt == ExifAt::kBeforePixels) AppendChunk(png, "eXIf", exif);
    std::vector<uint8_t> garbage(256);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
    AppendChunk(png, "IDAT", garbage);
    if (exifAt == ExifAt::kAfterPixels) AppendChunk(png, "eXIf", exif);
    AppendChunk(png, "IEND", {});
    return png;
}

std::vector<uint8_t> Jpeg(int width, int height, int orientation = 1) {
    const std::vector<uint8_t> jpeg = EncodePlanesAsJpeg(MakeScenePlanes(width, height, TJSAMP_420));
    return orientation == 1 ? jpeg : WithOrientation(jpeg, orientation);
}

class MergeMessages : public ::testing::Test {
protected:
    int Run(const std::vector<std::string> &args) {
        std::ostringstream outStream, errStream;
        const int code = tonefold::RunMergeProgram(args, outStream, errStream);
        out = outStream.str();
        err = errStream.str();
        return code;
    }

    std::string Line(const std::string &name, const std::string &reason) const {
        return "tonefold-merge: " + dir.File(name) + ": " + reason + "\n";
    }

    ScratchDir dir;
    std::string out;
    std::string err;
};

TEST_F(MergeMessages, SizesTheHeadersShowAreCheckedUprightBeforeAnyPhotoIsDecoded) {
    struct Case {
        const char *name;
        std::vector<uint8_t> first, second, third;  // a.png, b.png, c.jpg
        std::string expected;                       // "" when the photos must be decoded
    };
    const Case cases[] = {
        // The case that cost half a gigabyte: two huge grey photos and a small one.
        {"huge square", PngOfGarbage(10000, 10000), PngOfGarbage(10000, 10000), Jpeg(160, 120),
         Line("c.jpg", "is 160x120 upright, but " + dir.File("a.png") + " is 10000x10000")},
        {"no EXIF anywhere", PngOfGarbage(160, 100), PngOfGarbage(160, 100), Jpeg(160, 120),
         Line("c.jpg", "is 160x120 upright, but " + dir.File("a.png") + " is 160x100")},
        {"JPEG turned", PngOfGarbage(160, 120), PngOfGarbage(160, 120), Jpeg(160, 120, 6),
         Line("c.jpg", "is 120x160 upright, but " + dir.File("a.png") + " is 160x120")},
        {"PNG turned", PngOfGarbage(120, 160, ExifAt::kBeforePixels),
         PngOfGarbage(120, 160, ExifAt::kBeforePixels), Jpeg(120, 160),
         Line("c.jpg", "is 120x160 upright, but " + dir.File("a.png") + " is 160x120")},
        {"too small", PngOfGarbage(96, 95), PngOfGarbage(96, 95), Jpeg(96, 95),
         Line("a.png", "is 96x95, smaller than the 96x96 the merge needs")},
        // Sizes that agree once turned: only decoding finds the garbage.
        {"agree turned", PngOfGarbage(160, 120, ExifAt::kBeforePixels),
         PngOfGarbage(160, 120, ExifAt::kBeforePixels), Jpeg(120, 160), ""},
        // An EXIF chunk after the pixels is read only by decoding: the header cannot tell.
        {"EXIF after the pixels", PngOfGarbage(160, 120, ExifAt::kAfterPixels),
         PngOfGarbage(160, 120, ExifAt::kAfterPixels), Jpeg(120, 160), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir.File("a.png"), c.first);
        WriteFile(dir.File("b.png"), c.second);
        WriteFile(dir.File("c.jpg"), c.third);
        EXPECT_EQ(Run({"-v", "-o", dir.File("out.png"), dir.File("a.png"), dir.File("b.png"),
                       dir.File("c.jpg")}),
                  1);
        if (!c.expected.empty()) {
            EXPECT_EQ(err, c.expected);
        } else {
            EXPECT_NE(err.find(dir.File("a.png") + ": cannot be decoded"), std::string::npos)
                << err;
        }
    }
}

TEST_F(MergeMessages, AJpegOutputTooLargeForTheFormatIsRefusedFromTheHeaders) {
    const std::vector<uint8_t> tall = PngOfGarbage(96, 65535);
    for (const char *name : {"a.png", "b.png", "c.png"}) WriteFile(dir.File(name), tall);
    EXPECT_EQ(Run({"-o", dir.File("out.jpg"), dir.File("a.png"), dir.File("b.png"),
                   dir.File("c.png")}),
              1);
    EXPECT_EQ(err, Line("out.jpg", "a JPEG holds at most 65500 pixels a side, and the merged "
                                   "picture would be 96x65535 (use .png)"));
}

TEST_F(MergeMessages, ControlCharactersInTextAreShownEscapedAndUtf8AsItIs) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain name.jpg", "plain name.jpg"},
        {"\xc3\xa9t\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\xb7.jpg", "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\xb7.jpg"},
        {"a\nb", "a\\nb"},
        {"tab\there\r", "tab\\there\\r"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7f"},
        {"c1 \xc2\x9b" "2J", "c1 \\xc2\\x9b2J"},  // a terminal's one-byte command start
        {"lone \x9b and \xff", "lone \\x9b and \\xff"},
        {"cut \xe6\x97", "cut \\xe6\\x97"},
        {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
        {"surrogate \xed\xa0\x80", "surrogate \\xed\\xa0\\x80"},
        {"nbsp\xc2\xa0ok", "nbsp\xc2\xa0ok"},
    };
    for (const auto &[text, shown] : cases) {
        EXPECT_EQ(tonefold::PrintableText(text), shown);
    }
}

TEST_F(MergeMessages, ANameIsPrintedOnOneLineAndARepeatedRefusalOnce) {
    const std::string odd = "new\nline \x1b[2J.jpg";
    WriteFile(dir.File(odd), {0xFF, 0xD8, 0xFF, 0xD9});
    const std::string damaged = dir.File(odd);
    EXPECT_EQ(Run({"-o", dir.File("out.jpg"), damaged, damaged, damaged}), 1);
    EXPECT_EQ(err, "tonefold-merge: " + dir.Path() +
                       "/new\\nline \\x1b[2J.jpg: is truncated or not a complete JPEG file\n");

    // Distinct photos each get their line, in order.
    EXPECT_EQ(Run({"-o", dir.File("out.jpg"), dir.File("gone1.jpg"), damaged,
                   dir.File("gone1.jpg")}),
              1);
    EXPECT_EQ(err, Line("gone1.jpg", "No such file or directory") + "tonefold-merge: " +
                       dir.Path() +
                       "/new\\nline \\x1b[2J.jpg: is truncated or not a complete JPEG file\n");

    // The output's name, and a usage error's, are shown alike.
    EXPECT_EQ(Run({"-o", dir.File("out\n.txt"), damaged, damaged, damaged}), 1);
    EXPECT_EQ(err, "tonefold-merge: " + dir.Path() +
                       "/out\\n.txt: unknown output extension (use .jpg, .jpeg or .png)\n");
    EXPECT_EQ(Run({"-x\x1b", "-o", "o.jpg", "a", "b", "c"}), 2);
    EXPECT_EQ(err.substr(0, err.find('\n') + 1), "tonefold-merge: unknown option -x\\x1b\n");
}

TEST_F(MergeMessages, ASecondOutputIsAUsageError) {
    EXPECT_EQ(Run({"-o", dir.File("a.jpg"), "-o", dir.File("b.jpg"), "p", "q", "r"}), 2);
    EXPECT_EQ(err.substr(0, err.find('\n') + 1),
              "tonefold-merge: option -o given twice (one output)\n");
    EXPECT_NE(err.find("usage:"), std::string::npos);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

}  // namespace
