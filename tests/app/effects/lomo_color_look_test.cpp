// The colour look table and its trilinear lookup.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include "app/effects/lomo_support.h"
#include "effects/lomo_color_look_table.h"
#include "effects/lomo_kernels.h"

namespace {

// Output (R, G, B) of grid point (r, g, b).
struct Rgb {
    int32_t r, g, b;
    bool operator==(const Rgb &) const = default;
};

Rgb GridEntry(int32_t r, int32_t g, int32_t b) {
    const int32_t i = LomoLookIndex(r, g, b);
    return {LomoColorLookTable[2 * kLomoLookPlaneSize + i], LomoColorLookTable[kLomoLookPlaneSize + i],
            LomoColorLookTable[i]};
}

std::ostream &operator<<(std::ostream &os, const Rgb &c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

TEST(LomoColorLookTable, AnchorEntries) {
    const struct {
        int32_t r, g, b;  // input levels, multiples of 16 up to 256
        Rgb out;
    } cases[] = {
        {0, 0, 0, {0, 0, 0}},           {64, 64, 64, {40, 42, 20}},       {128, 128, 128, {126, 150, 100}},
        {192, 192, 192, {217, 236, 230}}, {256, 256, 256, {255, 255, 255}}, {256, 0, 0, {246, 70, 21}},
        {0, 256, 0, {69, 217, 1}},      {0, 0, 256, {0, 37, 223}},        {256, 256, 0, {255, 227, 9}},
        {0, 256, 256, {16, 242, 230}},  {256, 0, 256, {241, 129, 239}},   {192, 128, 96, {226, 157, 38}},
        {96, 128, 192, {56, 163, 207}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GridEntry(c.r / 16, c.g / 16, c.b / 16), c.out) << c.r << "," << c.g << "," << c.b;
}

TEST(LomoColorLookTable, GreyAxis) {
    const int32_t axis[3][17] = {
        {0, 12, 22, 34, 40, 59, 82, 97, 126, 154, 183, 205, 217, 232, 236, 246, 255},
        {0, 8, 17, 26, 42, 66, 98, 127, 150, 178, 200, 221, 236, 247, 252, 255, 255},
        {0, 5, 11, 15, 20, 32, 51, 65, 100, 144, 181, 211, 230, 242, 249, 252, 255},
    };
    for (int32_t n = 0; n < 17; ++n)
        EXPECT_EQ(GridEntry(n, n, n), (Rgb{axis[0][n], axis[1][n], axis[2][n]})) << n;
}

// The checked-in table is exactly what its generator writes today.
TEST(LomoColorLookTable, MatchesItsGenerator) {
    const std::string root = TONEFOLD_SOURCE_DIR;
    const std::string command = "python3 " + root + "/tools/gen_color_look_table.py --stdout";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string generated;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe.get())) > 0;) generated.append(chunk, n);
    const int status = pclose(pipe.release());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) GTEST_SKIP() << "python3 is not installed";
    ASSERT_EQ(status, 0) << "the generator failed";
    std::ifstream file(root + "/app/effects/lomo_color_look_table.cpp", std::ios::binary);
    std::stringstream stored;
    stored << file.rdbuf();
    EXPECT_FALSE(generated.empty());
    EXPECT_TRUE(generated == stored.str()) << "regenerate with tools/gen_color_look_table.py";
}

// Inputs on the grid (fractions 0) come back as the grid's entries, for every grid point the
// eight-bit levels reach.
TEST(LomoColorLook, GridInputsReturnGridEntries) {
    LomoPicture p = FlatLomoPicture(16 * 16, 16, 0, 0, 0);
    for (int32_t r = 0; r < 16; ++r)
        for (int32_t g = 0; g < 16; ++g)
            for (int32_t b = 0; b < 16; ++b) {
                uint8_t *px = p.pixel(16 * r + g, b);
                px[0] = static_cast<uint8_t>(16 * b);
                px[1] = static_cast<uint8_t>(16 * g);
                px[2] = static_cast<uint8_t>(16 * r);
            }
    const std::vector<uint8_t> tails = p.bytes;
    ASSERT_EQ(LomoColorLook(p.data(), p.width, p.height, p.lineBytes), 1);
    for (int32_t r = 0; r < 16; ++r)
        for (int32_t g = 0; g < 16; ++g)
            for (int32_t b = 0; b < 16; ++b) {
                const uint8_t *px = p.pixel(16 * r + g, b);
                ASSERT_EQ((Rgb{px[2], px[1], px[0]}), GridEntry(r, g, b)) << r << "," << g << "," << b;
            }
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t i = 3 * p.width; i < p.lineBytes; ++i)
            EXPECT_EQ(p.bytes[y * p.lineBytes + i], tails[y * p.lineBytes + i]);
}

TEST(LomoColorLook, KnownColours) {
    const struct {
        Rgb in, out;
    } cases[] = {{{0, 0, 0}, {0, 0, 0}},
                 {{255, 255, 255}, {254, 254, 254}},  // 15/16 of the way to grid point 16
                 {{128, 128, 128}, {126, 150, 100}},
                 {{255, 0, 0}, {245, 69, 20}}};
    for (const auto &c : cases) {
        LomoPicture p = FlatLomoPicture(1, 1, static_cast<uint8_t>(c.in.b),
                                        static_cast<uint8_t>(c.in.g), static_cast<uint8_t>(c.in.r));
        ASSERT_EQ(LomoColorLook(p.data(), 1, 1, p.lineBytes), 1);
        EXPECT_EQ((Rgb{p.pixel(0, 0)[2], p.pixel(0, 0)[1], p.pixel(0, 0)[0]}), c.out) << c.in;
    }
}

}  // namespace
