// The intermediate image record: row placement in both layouts for every format of the set,
// the descriptor checks and the ready flag's lifecycle.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "alt/intermediate_image.h"
#include "run/session_lifecycle.h"
#include "core/session.h"

namespace {

struct Descriptor {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};
};

// A descriptor of the format and size whose planes have pitch factor x the given pitches.
Descriptor MakeDescriptor(uint32_t format, int32_t w, int32_t h, const int32_t *pitch,
                          int32_t factor) {
    Descriptor d;
    d.desc.u32PixelArrayFormat = format;
    d.desc.i32Width = w;
    d.desc.i32Height = h;
    for (int p = 0; p < IntermediatePlaneCount(format); ++p) {
        d.desc.pi32Pitch[p] = pitch[p] * factor;
        d.planes[p].assign(size_t(d.desc.pi32Pitch[p]) * h, 0);
        d.desc.ppu8Plane[p] = d.planes[p].data();
    }
    return d;
}

struct FormatCase {
    uint32_t format;
    int32_t pitch[3];
};

const FormatCase kFormats[] = {
    {0x501, {32, 0, 0}}, {0x601, {16, 8, 8}}, {0x605, {16, 8, 8}}, {0x603, {16, 8, 8}},
    {0x801, {16, 16, 0}}, {0x802, {16, 16, 0}}, {0x803, {16, 16, 0}},
};

TEST(IntermediateImage, SixRowsParitySplitPlaceEvenAndOddRows) {
    HdrSession s{};
    const int32_t pitch[3] = {32, 0, 0};
    Descriptor in = MakeDescriptor(0x501, 16, 6, pitch, 1);
    Descriptor even = MakeDescriptor(0x501, 16, 6, pitch, 1);
    Descriptor odd = MakeDescriptor(0x501, 16, 6, pitch, 1);
    ImageDesc outputs[3] = {even.desc, odd.desc, even.desc};
    ASSERT_EQ(RecordIntermediateImage(&s, &in.desc, 1, outputs, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                                      RegionRect{0, 0, 16, 6}),
              RESULT_OK);
    for (int32_t r = 0; r < 6; ++r) {
        const Descriptor &half = (r & 1) ? odd : even;
        // 16-bit row j of a parity plane starts at byte 2 j pitch.
        const uint8_t *expected = half.planes[0].data() + 2 * (r / 2) * pitch[0];
        EXPECT_EQ(reinterpret_cast<uint8_t *>(IntermediateLumaRow(&s, r)), expected) << r;
    }
    EXPECT_EQ(IntermediateLumaRow(&s, 6), nullptr);
    EXPECT_EQ(IntermediateChromaRow(&s, 1, 0), nullptr);  // packed: chroma is in the one plane
    EXPECT_EQ(IntermediateOddPlane(&s, 0), odd.planes[0].data());
    EXPECT_EQ(IntermediateEvenPlane(&s, 0), even.planes[0].data());
}

// Row r of each plane goes to (descriptor, row) as the layout and format say.
TEST(IntermediateImage, PlacementOfEveryFormatInBothLayouts) {
    struct Expect {
        int32_t descriptor, row;
    };
    for (const FormatCase &c : kFormats) {
        const IntermediateChromaRows kind = IntermediateChromaPlacement(c.format);
        for (int32_t r = 0; r < 12; ++r) {
            SCOPED_TRACE(testing::Message() << std::hex << c.format << std::dec << " row " << r);
            const IntermediateRowPlace lumaSplit =
                PlaceIntermediateRow(INTERMEDIATE_LAYOUT_PARITY_SPLIT, c.format, 0, r);
            EXPECT_EQ(lumaSplit.descriptor, r & 1);
            EXPECT_EQ(lumaSplit.row, r / 2);
            const IntermediateRowPlace lumaFull = PlaceIntermediateRow(0, c.format, 0, r);
            EXPECT_EQ(lumaFull.descriptor, 0);
            EXPECT_EQ(lumaFull.row, r);
            Expect split{}, full{};
            switch (kind) {
                case kIntermediateChromaPairs:  // chroma row k = r / 2 by k's parity
                    split = {(r / 2) & 1, r / 4};
                    full = {0, r / 2};
                    break;
                case kIntermediateChromaEveryRow:
                    split = {r & 1, r / 2};
                    full = {0, r / 2};
                    break;
                case kIntermediateChromaPlanar422:
                    split = {r & 1, r / 2};
                    full = {0, r};
                    break;
                default:
                    split = full = {0, -1};
            }
            for (int32_t p = 1; p < 3; ++p) {
                const bool has = p < IntermediatePlaneCount(c.format);
                const IntermediateRowPlace a =
                    PlaceIntermediateRow(INTERMEDIATE_LAYOUT_PARITY_SPLIT, c.format, p, r);
                const IntermediateRowPlace b = PlaceIntermediateRow(7, c.format, p, r);
                EXPECT_EQ(a.row, has ? split.row : -1);
                EXPECT_EQ(b.row, has ? full.row : -1);
                if (has) {
                    EXPECT_EQ(a.descriptor, split.descriptor);
                    EXPECT_EQ(b.descriptor, full.descriptor);
                }
            }
        }
    }
}

// The row accessors address the recorded planes with the descriptors' own pitches.
TEST(IntermediateImage, RowAccessorsUseTheRecordedPlanesInEveryFormat) {
    for (const FormatCase &c : kFormats) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format);
        const int32_t w = 16, h = 8;
        Descriptor in = MakeDescriptor(c.format, w, h, c.pitch, 1);
        for (int32_t layout : {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL}) {
            const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
            // Pitches wider than needed: the accessors must follow the descriptors.
            int32_t wide[3];
            for (int p = 0; p < 3; ++p) wide[p] = c.pitch[p] + 4;
            Descriptor d0 = MakeDescriptor(c.format, w, h, wide, split ? 1 : 2);
            Descriptor d1 = MakeDescriptor(c.format, w, h, wide, 1);
            ImageDesc outputs[3] = {d0.desc, d1.desc, d0.desc};
            HdrSession s{};
            ASSERT_EQ(RecordIntermediateImage(&s, &in.desc, 1, outputs, layout,
                                              RegionRect{0, 0, uint32_t(w), h}),
                      RESULT_OK);
            EXPECT_EQ(s.intermediate.format, c.format);
            EXPECT_EQ(s.intermediate.pitch[0], c.pitch[0]);
            for (int32_t p = 0; p < IntermediatePlaneCount(c.format); ++p)
                for (int32_t r = 0; r < h; ++r) {
                    const IntermediateRowPlace place =
                        PlaceIntermediateRow(layout, c.format, p, r);
                    const Descriptor &d = place.descriptor ? d1 : d0;
                    const int64_t step = int64_t{d.desc.pi32Pitch[p]} * (split ? 2 : 1);
                    const uint8_t *expected = d.planes[p].data() + place.row * step;
                    EXPECT_EQ(reinterpret_cast<uint8_t *>(IntermediatePlaneRow(&s, p, r)),
                              expected)
                        << "plane " << p << " row " << r;
                }
            if (!split) {
                EXPECT_EQ(IntermediateOddPlane(&s, 0), nullptr);
            }
        }
    }
}

TEST(IntermediateImage, RefusesBadDescriptorsAndOverlaps) {
    const int32_t pitch[3] = {16, 8, 8};
    Descriptor in = MakeDescriptor(0x601, 16, 8, pitch, 1);
    Descriptor d0 = MakeDescriptor(0x601, 16, 8, pitch, 1);
    Descriptor d1 = MakeDescriptor(0x601, 16, 8, pitch, 1);
    Descriptor wide = MakeDescriptor(0x601, 16, 8, pitch, 2);
    const RegionRect rect{0, 0, 16, 8};
    HdrSession s{};
    ImageDesc ok[3] = {d0.desc, d1.desc, d0.desc};
    EXPECT_EQ(RecordIntermediateImage(&s, &in.desc, 1, ok, INTERMEDIATE_LAYOUT_PARITY_SPLIT, rect),
              RESULT_OK);

    struct Case {
        const char *name;
        ImageDesc first, second;
        int32_t layout;
    };
    ImageDesc otherFormat = d0.desc;
    otherFormat.u32PixelArrayFormat = 0x603;
    ImageDesc otherSize = d0.desc;
    otherSize.i32Height = 6;
    ImageDesc narrow = d0.desc;
    narrow.pi32Pitch[1] = 7;
    ImageDesc noPlane = d0.desc;
    noPlane.ppu8Plane[2] = nullptr;
    ImageDesc ontoInput = d0.desc;
    ontoInput.ppu8Plane[1] = in.desc.ppu8Plane[2];
    ImageDesc shared = d1.desc;
    shared.ppu8Plane[0] = d0.desc.ppu8Plane[0] + 16;
    const Case cases[] = {
        {"format", otherFormat, d1.desc, INTERMEDIATE_LAYOUT_PARITY_SPLIT},
        {"size", otherSize, d1.desc, INTERMEDIATE_LAYOUT_PARITY_SPLIT},
        {"pitch", narrow, d1.desc, INTERMEDIATE_LAYOUT_PARITY_SPLIT},
        {"plane", noPlane, d1.desc, INTERMEDIATE_LAYOUT_PARITY_SPLIT},
        {"onto an input", ontoInput, d1.desc, INTERMEDIATE_LAYOUT_PARITY_SPLIT},
        {"halves overlap", d0.desc, shared, INTERMEDIATE_LAYOUT_PARITY_SPLIT},
        {"full needs twice the pitch", d0.desc, d1.desc, INTERMEDIATE_LAYOUT_FULL},
        {"input as the full plane", in.desc, d1.desc, INTERMEDIATE_LAYOUT_FULL},
    };
    for (const Case &c : cases) {
        HdrSession fresh{};
        ImageDesc outputs[3] = {c.first, c.second, c.first};
        EXPECT_EQ(RecordIntermediateImage(&fresh, &in.desc, 1, outputs, c.layout, rect),
                  RESULT_INVALID_ARGUMENT)
            << c.name;
        EXPECT_EQ(fresh.alternativeOutputPlanes[0][0], nullptr) << c.name;
    }
    // A full-layout descriptor of twice the pitch is accepted; the second is not read.
    ImageDesc full[3] = {wide.desc, {}, {}};
    EXPECT_EQ(RecordIntermediateImage(&s, &in.desc, 1, full, INTERMEDIATE_LAYOUT_FULL, rect),
              RESULT_OK);
    EXPECT_EQ(s.intermediate.layout, INTERMEDIATE_LAYOUT_FULL);
}

TEST(IntermediateImage, ReleaseForgetsTheIntermediateWithoutFreeingIt) {
    HdrSession *s = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    const int32_t pitch[3] = {32, 0, 0};
    Descriptor in = MakeDescriptor(0x501, 16, 6, pitch, 1);
    Descriptor d0 = MakeDescriptor(0x501, 16, 6, pitch, 2);
    ImageDesc outputs[3] = {d0.desc, {}, {}};
    ASSERT_EQ(RecordIntermediateImage(s, &in.desc, 1, outputs, INTERMEDIATE_LAYOUT_FULL,
                                      RegionRect{0, 0, 16, 6}),
              RESULT_OK);
    s->intermediateReady = 1;
    ReleasePipelineBuffers(nullptr, s);
    EXPECT_EQ(s->intermediateReady, 0);
    EXPECT_EQ(IntermediateEvenPlane(s, 0), nullptr);
    EXPECT_EQ(IntermediateLumaRow(s, 0), nullptr);
    DestroyHdrSession(nullptr, s);
}

}  // namespace
