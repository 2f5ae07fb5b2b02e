#include "gradient_code_kernels.h"

#include <algorithm>
#include <cstring>

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

void GradientCodeRow_C(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                       uint8_t *out) {
    const uint8_t *above = centre - rowStep;
    const uint8_t *below = centre + rowStep;
    for (int32_t k = 0; k < count; ++k) {
        const int64_t at = static_cast<int64_t>(k) * step;
        const int vertical = above[at] - below[at];
        const int horizontal = centre[at - step] - centre[at + step];
        out[k] = static_cast<uint8_t>((vertical > 4 ? 1 : 0) | (horizontal > 4 ? 2 : 0));
    }
}

#if defined(__SSE2__)

namespace {

inline __m128i Load(const uint8_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// Sixteen samples from p: consecutive bytes, or the first byte of every 2 or 4 (the strided
// levels of the packed formats).
template <int kStep>
inline __m128i Samples(const uint8_t *p) {
    if (kStep == 1) return Load(p);
    if (kStep == 2) {
        const __m128i low = _mm_set1_epi16(0xFF);
        return _mm_packus_epi16(_mm_and_si128(Load(p), low), _mm_and_si128(Load(p + 16), low));
    }
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i first = _mm_packs_epi32(_mm_and_si128(Load(p), low),
                                          _mm_and_si128(Load(p + 16), low));
    const __m128i second = _mm_packs_epi32(_mm_and_si128(Load(p + 32), low),
                                           _mm_and_si128(Load(p + 48), low));
    return _mm_packus_epi16(first, second);
}

// All ones where a - b > 4: the saturated difference is 0 wherever a <= b.
inline __m128i Exceeds4(__m128i a, __m128i b) {
    const __m128i d = _mm_subs_epu8(a, b);
    return _mm_cmpeq_epi8(_mm_max_epu8(d, _mm_set1_epi8(5)), d);
}

template <int kStep>
int32_t CodeRowVector(const uint8_t *centre, int64_t rowStep, int32_t count, uint8_t *out) {
    // A strided load of sixteen samples reaches up to step - 1 bytes past the last sample;
    // while a further sample follows, the plain kernel reads those bytes' row that far too.
    const int32_t spare = kStep == 1 ? 0 : 1;
    const __m128i one = _mm_set1_epi8(1), two = _mm_set1_epi8(2);
    int32_t k = 0;
    for (; k + 16 + spare <= count; k += 16) {
        const uint8_t *c = centre + static_cast<int64_t>(k) * kStep;
        const __m128i vertical = Exceeds4(Samples<kStep>(c - rowStep), Samples<kStep>(c + rowStep));
        const __m128i horizontal = Exceeds4(Samples<kStep>(c - kStep), Samples<kStep>(c + kStep));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k),
                         _mm_or_si128(_mm_and_si128(vertical, one), _mm_and_si128(horizontal, two)));
    }
    return k;
}

// Samples further apart (the coarser strided levels, whose tile rows are short) are first
// gathered into runs of up to 64 consecutive bytes, the same samples the plain kernel reads,
// then coded sixteen at a time; codes past the run's end are computed but not stored.
int32_t CodeRowGathered(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                        uint8_t *out) {
    constexpr int32_t kChunk = 64;
    uint8_t above[kChunk] = {}, below[kChunk] = {}, middle[kChunk + 2] = {}, codes[kChunk];
    const __m128i one = _mm_set1_epi8(1), two = _mm_set1_epi8(2);
    for (int32_t k = 0; k < count;) {
        const int32_t m = std::min(kChunk, count - k);
        const uint8_t *c = centre + static_cast<int64_t>(k) * step;
        for (int32_t i = 0; i < m; ++i) {
            const int64_t at = static_cast<int64_t>(i) * step;
            above[i] = c[at - rowStep];
            below[i] = c[at + rowStep];
            middle[i] = c[at - step];
        }
        middle[m] = c[static_cast<int64_t>(m - 1) * step];
        middle[m + 1] = c[static_cast<int64_t>(m) * step];
        for (int32_t i = 0; i < m; i += 16) {
            const __m128i vertical = Exceeds4(Load(above + i), Load(below + i));
            const __m128i horizontal = Exceeds4(Load(middle + i), Load(middle + i + 2));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(codes + i),
                             _mm_or_si128(_mm_and_si128(vertical, one),
                                          _mm_and_si128(horizontal, two)));
        }
        std::memcpy(out + k, codes, static_cast<size_t>(m));
        k += m;
    }
    return count;
}

// Eight codes of consecutive samples from k.
inline void CodeEight(const uint8_t *centre, int64_t rowStep, int32_t k, uint8_t *out) {
    auto load8 = [](const uint8_t *p) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
    };
    const uint8_t *c = centre + k;
    const __m128i vertical = Exceeds4(load8(c - rowStep), load8(c + rowStep));
    const __m128i horizontal = Exceeds4(load8(c - 1), load8(c + 1));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + k),
                     _mm_or_si128(_mm_and_si128(vertical, _mm_set1_epi8(1)),
                                  _mm_and_si128(horizontal, _mm_set1_epi8(2))));
}

// The short tile rows of the finer levels: eight codes at a time, the last eight ending at the
// row end (codes computed twice come out the same).
int32_t CodeRowTail(const uint8_t *centre, int64_t rowStep, int32_t k, int32_t count,
                    uint8_t *out) {
    if (count < 8) return k;
    for (; k + 8 <= count; k += 8) CodeEight(centre, rowStep, k, out);
    if (k < count) CodeEight(centre, rowStep, count - 8, out);
    return count;
}

// Eight bytes from p in the low half and eight from p + next in the high half.
inline __m128i LoadTwoRows(const uint8_t *p, int64_t next) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + next)));
}

// Eight codes from k of two consecutive rows at once, the first row's in the low half.
inline void CodeEightTwoRows(const uint8_t *centre, int64_t rowStep, int32_t k, uint8_t *out,
                             int64_t outPitch) {
    const uint8_t *c = centre + k;
    const __m128i vertical = Exceeds4(LoadTwoRows(c - rowStep, rowStep),
                                      LoadTwoRows(c + rowStep, rowStep));
    const __m128i horizontal = Exceeds4(LoadTwoRows(c - 1, rowStep), LoadTwoRows(c + 1, rowStep));
    const __m128i codes = _mm_or_si128(_mm_and_si128(vertical, _mm_set1_epi8(1)),
                                       _mm_and_si128(horizontal, _mm_set1_epi8(2)));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + k), codes);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + outPitch + k),
                     _mm_unpackhi_epi64(codes, codes));
}

// Rows of 8 to 15 codes (the tiles of the finer levels) in pairs: eight codes of both rows a
// step, the last step ending at the row end. Returns the rows done, all but an odd last one.
int32_t CodeShortRowPairs(const uint8_t *centre, int64_t rowStep, int32_t count, int32_t rows,
                          uint8_t *out, int64_t outPitch) {
    int32_t r = 0;
    for (; r + 2 <= rows; r += 2) {
        const uint8_t *c = centre + r * rowStep;
        uint8_t *o = out + r * outPitch;
        CodeEightTwoRows(c, rowStep, 0, o, outPitch);
        CodeEightTwoRows(c, rowStep, count - 8, o, outPitch);
    }
    return r;
}

}  // namespace

void GradientCodeRow_SSE2(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                          uint8_t *out) {
    int32_t k = 0;
    if (step == 1) k = CodeRowTail(centre, rowStep, CodeRowVector<1>(centre, rowStep, count, out),
                                   count, out);
    if (step == 2) k = CodeRowVector<2>(centre, rowStep, count, out);
    if (step == 4) k = CodeRowVector<4>(centre, rowStep, count, out);
    if (step > 4 && count >= 8) k = CodeRowGathered(centre, rowStep, step, count, out);
    GradientCodeRow_C(centre + static_cast<int64_t>(k) * step, rowStep, step, count - k, out + k);
}

void GradientCodeBlock_SSE2(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                            int32_t rows, uint8_t *out, int64_t outPitch) {
    if (step != 1) {
        for (int32_t r = 0; r < rows; ++r)
            GradientCodeRow_SSE2(centre + r * rowStep, rowStep, step, count, out + r * outPitch);
        return;
    }
    int32_t r = 0;
    if (count >= 8 && count < 16) r = CodeShortRowPairs(centre, rowStep, count, rows, out, outPitch);
    for (; r < rows; ++r) {
        const uint8_t *c = centre + r * rowStep;
        uint8_t *o = out + r * outPitch;
        const int32_t k = CodeRowTail(c, rowStep, CodeRowVector<1>(c, rowStep, count, o), count, o);
        if (k < count) GradientCodeRow_C(c + k, rowStep, 1, count - k, o + k);
    }
}

#else

void GradientCodeBlock_SSE2(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                            int32_t rows, uint8_t *out, int64_t outPitch) {
    GradientCodeBlock_C(centre, rowStep, step, count, rows, out, outPitch);
}

void GradientCodeRow_SSE2(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                          uint8_t *out) {
    GradientCodeRow_C(centre, rowStep, step, count, out);
}

#endif

void GradientCodeBlock_C(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                         int32_t rows, uint8_t *out, int64_t outPitch) {
    for (int32_t r = 0; r < rows; ++r)
        GradientCodeRow_C(centre + r * rowStep, rowStep, step, count, out + r * outPitch);
}

void GradientCodeBlockKernel(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                             int32_t rows, uint8_t *out, int64_t outPitch) {
    if (Sse2KernelsEnabled())
        GradientCodeBlock_SSE2(centre, rowStep, step, count, rows, out, outPitch);
    else
        GradientCodeBlock_C(centre, rowStep, step, count, rows, out, outPitch);
}
