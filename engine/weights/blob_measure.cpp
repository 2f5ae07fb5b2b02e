// Measurements over a labelled ComponentList: centroids and matching, the isolation radius,
// contour tracing, span filling, mask images and overlap counts.
#include <cstddef>
#include <cstdint>

#include "blob_analysis.h"

namespace {

bool HasMap(const ComponentList *list) {
    return list && list->items && list->labels && list->width > 0 && list->height > 0;
}

bool HasRecord(const ComponentList *list, int32_t index) {
    return HasMap(list) && index >= 0 && index < list->count && index < list->capacity;
}

int16_t LabelAt(const ComponentList &list, int32_t x, int32_t y) {
    return list.labels[static_cast<size_t>(y) * list.width + x];
}

bool Inside(const ComponentList &list, int64_t x, int64_t y) {
    return x >= 0 && y >= 0 && x < list.width && y < list.height;
}

// A record's box clipped to the map (empty when x1 < x0 or y1 < y0).
InclusiveRect ClippedBox(const ComponentList &list, const ComponentRecord &r) {
    return {r.x0 < 0 ? 0 : r.x0, r.y0 < 0 ? 0 : r.y0, r.x1 >= list.width ? list.width - 1 : r.x1,
            r.y1 >= list.height ? list.height - 1 : r.y1};
}

// Calls visit(x, y) for every cell of record `index`'s box that carries its label.
template <typename Visit>
void ForEachCell(const ComponentList &list, int32_t index, Visit visit) {
    const InclusiveRect box = ClippedBox(list, list.items[index]);
    for (int32_t y = box.y0; y <= box.y1; ++y)
        for (int32_t x = box.x0; x <= box.x1; ++x)
            if (LabelAt(list, x, y) == index + 1) visit(x, y);
}

}  // namespace

int32_t ComponentCentroid(ComponentList *list, int32_t i, int32_t *centroidX, int32_t *centroidY) {
    if (!HasRecord(list, i)) return RESULT_INVALID_ARGUMENT;
    ComponentRecord &r = list->items[i];
    if (!r.centroidValid) {
        int64_t sumX = 0, sumY = 0, cells = 0;
        ForEachCell(*list, i, [&](int32_t x, int32_t y) {
            sumX += x;
            sumY += y;
            ++cells;
        });
        r.centroidX = cells ? static_cast<int32_t>(sumX / cells) : r.x0;
        r.centroidY = cells ? static_cast<int32_t>(sumY / cells) : r.y0;
        r.centroidValid = 1;
    }
    if (centroidX) *centroidX = r.centroidX;
    if (centroidY) *centroidY = r.centroidY;
    return RESULT_OK;
}

int32_t MatchComponents(ComponentList *a, int32_t indexA, ComponentList *b, int32_t indexB,
                        int32_t *matched) {
    if (matched) *matched = 0;
    int32_t ax = 0, ay = 0, bx = 0, by = 0;
    if (ComponentCentroid(a, indexA, &ax, &ay) != RESULT_OK || ComponentCentroid(b, indexB, &bx, &by) != RESULT_OK)
        return RESULT_INVALID_ARGUMENT;
    const int64_t areaDiff = int64_t{a->items[indexA].area} - b->items[indexB].area;
    const bool close = (areaDiff < 0 ? -areaDiff : areaDiff) <= 39 && (ax > bx ? ax - bx : bx - ax) < 20 &&
                       (ay > by ? ay - by : by - ay) < 20;
    if (matched) *matched = close ? 1 : 0;
    return RESULT_OK;
}

int32_t ComponentIsolationRadius(ComponentList *list, int32_t index, const int32_t *points,
                                 int32_t pointCount, int32_t maxRadius, int32_t minScore) {
    if (!HasRecord(list, index)) return 0;
    static constexpr int32_t kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    static constexpr int32_t kDy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    if (!points) pointCount = 0;
    // Rings wider than the map meet nothing; the unfound radius stays representable.
    const int32_t longest = list->width > list->height ? list->width : list->height;
    const int32_t lastRing = maxRadius < longest ? maxRadius : longest;
    const int32_t unfound = maxRadius < INT32_MAX ? maxRadius + 1 : INT32_MAX;
    int32_t radius = unfound;
    for (int32_t r = 1; r <= lastRing && radius == unfound; ++r)
        for (int32_t p = 0; p < pointCount && radius == unfound; ++p)
            for (int d = 0; d < 8; ++d) {
                const int64_t x = points[2 * p] + int64_t{r} * kDx[d];
                const int64_t y = points[2 * p + 1] + int64_t{r} * kDy[d];
                if (!Inside(*list, x, y)) continue;
                const int32_t label = LabelAt(*list, static_cast<int32_t>(x), static_cast<int32_t>(y));
                if (label <= 0 || label == index + 1 || label > list->count || label > list->capacity) continue;
                if (list->items[label - 1].score < minScore) {
                    radius = r;
                    break;
                }
            }
    list->items[index].isolationRadius = radius;
    return radius;
}

int32_t MaxComponentArea(const ComponentList *list) {
    if (!list || !list->items) return 0;
    int32_t largest = 0;
    for (int32_t k = 0; k < list->count && k < list->capacity; ++k)
        if (list->items[k].area > largest) largest = list->items[k].area;
    return largest;
}

int32_t TraceComponentContour(const ComponentList *list, int32_t *points, int32_t maxPoints,
                              int32_t label) {
    if (!points || maxPoints < 1 || !HasRecord(list, label - 1)) return 0;
    static constexpr int32_t kDx[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
    static constexpr int32_t kDy[8] = {1, 1, 1, 0, -1, -1, -1, 0};
    const InclusiveRect box = ClippedBox(*list, list->items[label - 1]);
    int32_t startX = -1, startY = -1;
    for (int32_t y = box.y0; y <= box.y1 && startX < 0; ++y)
        for (int32_t x = box.x0; x <= box.x1; ++x)
            if (LabelAt(*list, x, y) == label) {
                startX = x;
                startY = y;
                break;
            }
    if (startX < 0) return 0;
    points[0] = startX;
    points[1] = startY;
    int32_t count = 1, x = startX, y = startY, direction = 0;
    while (count < maxPoints) {
        int32_t taken = -1;
        for (int k = 0; k < 8 && taken < 0; ++k) {
            const int32_t d = (direction + k) & 7;
            if (Inside(*list, x + kDx[d], y + kDy[d]) && LabelAt(*list, x + kDx[d], y + kDy[d]) == label) taken = d;
        }
        if (taken < 0) break;
        x += kDx[taken];
        y += kDy[taken];
        direction = (taken + 6) & 7;
        if (x == startX && y == startY) break;
        points[2 * count] = x;
        points[2 * count + 1] = y;
        ++count;
    }
    return count;
}

namespace {

bool PlaneFitsMap(const ComponentList *list, const ImageDesc *image) {
    return HasMap(list) && image && image->ppu8Plane[0] && image->i32Width == list->width &&
           image->i32Height == list->height && image->pi32Pitch[0] >= image->i32Width;
}

// First and last position along a line of the box where `label` lies; false when none.
template <typename At>
bool LabelledSpan(int32_t from, int32_t to, At at, int32_t label, int32_t *first, int32_t *last) {
    *first = -1;
    for (int32_t i = from; i <= to; ++i)
        if (at(i) == label) {
            if (*first < 0) *first = i;
            *last = i;
        }
    return *first >= 0;
}

}  // namespace

int32_t FillComponentSpans(const ComponentList *list, ImageDesc *image) {
    if (!PlaneFitsMap(list, image)) return RESULT_INVALID_ARGUMENT;
    uint8_t *plane = image->ppu8Plane[0];
    const int32_t pitch = image->pi32Pitch[0];
    auto byteAt = [&](int32_t x, int32_t y) -> uint8_t & { return plane[static_cast<size_t>(y) * pitch + x]; };
    for (int32_t k = 0; k < list->count && k < list->capacity; ++k) {
        const InclusiveRect box = ClippedBox(*list, list->items[k]);
        const int32_t label = k + 1;
        int32_t first = 0, last = 0;
        for (int32_t y = box.y0; y <= box.y1; ++y)
            if (LabelledSpan(box.x0, box.x1, [&](int32_t x) { return LabelAt(*list, x, y); }, label, &first, &last))
                for (int32_t x = first; x <= last; ++x)
                    if (byteAt(x, y) != 255) byteAt(x, y) = 64;
        for (int32_t x = box.x0; x <= box.x1; ++x)
            if (LabelledSpan(box.y0, box.y1, [&](int32_t y) { return LabelAt(*list, x, y); }, label, &first, &last))
                for (int32_t y = first; y <= last; ++y)
                    if (byteAt(x, y) != 255) byteAt(x, y) = static_cast<uint8_t>(byteAt(x, y) < 191 ? byteAt(x, y) + 64 : 255);
        for (int32_t y = box.y0; y <= box.y1; ++y)
            for (int32_t x = box.x0; x <= box.x1; ++x) byteAt(x, y) = byteAt(x, y) >= 128 ? 255 : 0;
    }
    return RESULT_OK;
}

int32_t ComponentMaskToImage(const ComponentList *list, ImageDesc *image) {
    if (!PlaneFitsMap(list, image)) return RESULT_INVALID_ARGUMENT;
    for (int32_t y = 0; y < list->height; ++y) {
        uint8_t *row = image->ppu8Plane[0] + static_cast<size_t>(y) * image->pi32Pitch[0];
        for (int32_t x = 0; x < list->width; ++x) row[x] = LabelAt(*list, x, y) != 0 ? 255 : 0;
    }
    return RESULT_OK;
}

namespace {

template <typename Counts>
int32_t CountInB(const ComponentList *a, int32_t index, const ComponentList *b, Counts counts) {
    if (!HasRecord(a, index) || !HasMap(b)) return 0;
    int32_t total = 0;
    ForEachCell(*a, index, [&](int32_t x, int32_t y) {
        if (Inside(*b, x, y) && counts(LabelAt(*b, x, y))) ++total;
    });
    return total;
}

}  // namespace

int32_t CountOverlapWithLabel(const ComponentList *a, int32_t index, const ComponentList *b,
                              int32_t labelB) {
    return CountInB(a, index, b, [&](int32_t label) { return label == int64_t{labelB} + 1; });
}

int32_t CountOverlap(const ComponentList *a, int32_t index, const ComponentList *b) {
    return CountInB(a, index, b, [](int32_t label) { return label > 0; });
}
