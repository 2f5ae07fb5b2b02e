// Relabelling, packing, filtering and copying of ComponentLists. Packing renumbers through the
// records' own index fields before it moves them, so it needs no scratch and cannot fail.
#include <climits>
#include <cstddef>

#include "blob_analysis.h"
#include "core/memory.h"

namespace {

bool HasStorage(const ComponentList *list) {
    return list && list->items && list->labels && list->width > 0 && list->height > 0 &&
           list->capacity > 0;
}

int32_t UsedRecords(const ComponentList &list) {
    if (list.count <= 0) return 0;
    return list.count < list.capacity ? list.count : list.capacity;
}

size_t Cells(const ComponentList &list) {
    return static_cast<size_t>(list.width) * static_cast<size_t>(list.height);
}

// The record that absorbed k, directly or through a chain (absorbers have smaller indices).
int32_t Survivor(const ComponentRecord *items, int32_t k) {
    while (items[k].mergedInto >= 0) k = items[k].mergedInto;
    return k;
}

void Widen(ComponentRecord &r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (x0 < r.x0) r.x0 = x0;
    if (y0 < r.y0) r.y0 = y0;
    if (x1 > r.x1) r.x1 = x1;
    if (y1 > r.y1) r.y1 = y1;
}

// The record a new cell at (x, y) belongs to, absorbing every other component it touches;
// -1 when no neighbour is labelled.
int32_t JoinNeighbours(ComponentRecord *items, const int16_t *labels, int32_t w, int32_t x, int32_t y,
                       bool eight) {
    int32_t roots[4];
    int32_t found = 0;
    auto look = [&](int32_t nx, int32_t ny) {
        if (nx < 0 || ny < 0 || nx >= w) return;
        const int32_t label = labels[static_cast<size_t>(ny) * w + nx];
        if (label <= 0) return;
        const int32_t root = Survivor(items, label - 1);
        for (int32_t k = 0; k < found; ++k)
            if (roots[k] == root) return;
        roots[found++] = root;
    };
    look(x - 1, y);
    look(x, y - 1);
    if (eight) {
        look(x - 1, y - 1);
        look(x + 1, y - 1);
    }
    if (found == 0) return -1;
    int32_t keep = roots[0];
    for (int32_t k = 1; k < found; ++k)
        if (roots[k] < keep) keep = roots[k];
    for (int32_t k = 0; k < found; ++k) {
        if (roots[k] == keep) continue;
        ComponentRecord &gone = items[roots[k]];
        items[keep].area += gone.area;
        Widen(items[keep], gone.x0, gone.y0, gone.x1, gone.y1);
        gone.mergedInto = keep;
    }
    return keep;
}

// Moves the records whose index field holds their new position (>= 0) there, in order, and
// clears the records after them up to `used`.
int32_t PackRecords(ComponentRecord *items, int32_t used) {
    int32_t kept = 0;
    for (int32_t k = 0; k < used; ++k) {
        if (items[k].index < 0) continue;
        items[kept++] = items[k];
    }
    for (int32_t k = kept; k < used; ++k) items[k] = ComponentRecord{};
    return kept;
}

}  // namespace

int32_t RelabelComponentMap(MemoryContext, ComponentList *list, int32_t connectivity) {
    if (!HasStorage(list)) return LABEL_NO_TABLE;
    const int32_t w = list->width, h = list->height;
    // Labels are int16: never hand out more records than a label can name.
    const int32_t limit = list->capacity < INT16_MAX ? list->capacity : INT16_MAX;
    ComponentRecord *items = list->items;
    FillBytes(items, 0, sizeof(ComponentRecord) * static_cast<size_t>(list->capacity));
    const bool eight = connectivity == 8;
    int32_t used = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int16_t &cell = list->labels[static_cast<size_t>(y) * w + x];
            if (cell == 0) continue;
            int32_t record = JoinNeighbours(items, list->labels, w, x, y, eight);
            if (record >= 0) {
                items[record].area += 1;
                Widen(items[record], x, y, x, y);
            } else if (used < limit) {
                record = used++;
                items[record] = ComponentRecord{1, record, x, y, x, y, 0, 0, 0, 0, 0, -1};
            }
            cell = static_cast<int16_t>(record + 1);
        }
    // Survivors take their packed position as index; absorbed records are dropped.
    int32_t survivors = 0;
    for (int32_t k = 0; k < used; ++k) items[k].index = items[k].mergedInto < 0 ? survivors++ : -1;
    const size_t cells = Cells(*list);
    for (size_t i = 0; i < cells; ++i) {
        const int32_t label = list->labels[i];
        if (label > 0) list->labels[i] = static_cast<int16_t>(items[Survivor(items, label - 1)].index + 1);
    }
    list->count = PackRecords(items, used);
    return list->count;
}

void CompactComponents(MemoryContext, ComponentList *list) {
    if (!HasStorage(list)) return;
    const int32_t used = UsedRecords(*list);
    ComponentRecord *items = list->items;
    int32_t kept = 0;
    for (int32_t k = 0; k < used; ++k)
        if (items[k].index >= 0) items[k].index = kept++;
    const size_t cells = Cells(*list);
    for (size_t i = 0; i < cells; ++i) {
        const int32_t label = list->labels[i];
        if (label == 0) continue;
        const bool live = label > 0 && label <= used && items[label - 1].index >= 0;
        list->labels[i] = static_cast<int16_t>(live ? items[label - 1].index + 1 : 0);
    }
    list->count = PackRecords(items, used);
}

namespace {

template <typename Drop>
int32_t MarkAndCompact(MemoryContext memory, ComponentList *list, int32_t compact, Drop drop) {
    if (!HasStorage(list)) return 0;
    const int32_t used = UsedRecords(*list);
    int32_t remaining = 0;
    for (int32_t k = 0; k < used; ++k) {
        ComponentRecord &r = list->items[k];
        if (r.index < 0) continue;
        if (drop(r))
            r.index = -1;
        else
            ++remaining;
    }
    if (compact > 0) CompactComponents(memory, list);
    return remaining;
}

}  // namespace

int32_t FilterComponentsBySize(MemoryContext memory, ComponentList *list, int32_t maxArea,
                               int32_t minArea, int32_t minSide, int32_t maxSide, int32_t compact) {
    return MarkAndCompact(memory, list, compact, [&](const ComponentRecord &r) {
        const int64_t spanX = int64_t{r.x1} - r.x0, spanY = int64_t{r.y1} - r.y0;
        return r.area < minArea || r.area > maxArea || spanX >= maxSide || spanY >= maxSide ||
               spanX + 1 <= minSide || spanY + 1 <= minSide;
    });
}

int32_t FilterComponentsByFill(MemoryContext memory, ComponentList *list, int32_t, int32_t compact) {
    return MarkAndCompact(memory, list, compact, [](const ComponentRecord &r) {
        return 30 * int64_t{r.area} < (int64_t{r.x1} - r.x0) * (int64_t{r.y1} - r.y0);
    });
}

int32_t CopyComponentShifted(ComponentList *a, const ComponentList *b, int32_t index, int32_t dx,
                             int32_t dy) {
    if (!HasStorage(a) || !HasStorage(b) || index < 0 || index >= UsedRecords(*b))
        return RESULT_INVALID_ARGUMENT;
    const int32_t slot = a->count < 0 ? 0 : a->count;
    if (slot >= a->capacity || slot + 1 > INT16_MAX) return RESULT_INVALID_ARGUMENT;
    const ComponentRecord &source = b->items[index];
    const int64_t sx0 = int64_t{source.x0} + dx, sx1 = int64_t{source.x1} + dx;
    const int64_t sy0 = int64_t{source.y0} + dy, sy1 = int64_t{source.y1} + dy;
    if (sx1 < 0 || sy1 < 0 || sx0 >= a->width || sy0 >= a->height) return RESULT_INVALID_ARGUMENT;
    ComponentRecord copy = source;
    copy.index = slot;
    copy.x0 = static_cast<int32_t>(sx0 < 0 ? 0 : sx0);
    copy.y0 = static_cast<int32_t>(sy0 < 0 ? 0 : sy0);
    copy.x1 = static_cast<int32_t>(sx1 >= a->width ? a->width - 1 : sx1);
    copy.y1 = static_cast<int32_t>(sy1 >= a->height ? a->height - 1 : sy1);
    copy.centroidX = copy.centroidY = 0;
    copy.centroidValid = 0;
    copy.mergedInto = -1;
    // Cells of B's component inside B's map, written where they land inside A's map.
    const int16_t label = static_cast<int16_t>(slot + 1);
    int32_t copied = 0;
    for (int32_t y = source.y0 < 0 ? 0 : source.y0; y <= source.y1 && y < b->height; ++y) {
        const int64_t ty = int64_t{y} + dy;
        if (ty < 0 || ty >= a->height) continue;
        for (int32_t x = source.x0 < 0 ? 0 : source.x0; x <= source.x1 && x < b->width; ++x) {
            const int64_t tx = int64_t{x} + dx;
            if (tx < 0 || tx >= a->width || b->labels[static_cast<size_t>(y) * b->width + x] != index + 1)
                continue;
            a->labels[static_cast<size_t>(ty) * a->width + tx] = label;
            ++copied;
        }
    }
    copy.area = copied;
    a->items[slot] = copy;
    a->count = slot + 1;
    return RESULT_OK;
}

int32_t CopyComponentList(ComponentList *destination, const ComponentList *source) {
    if (!destination || !source) return RESULT_INVALID_ARGUMENT;
    const int32_t records = source->count > 0 ? source->count : 0;
    const int64_t cells = int64_t{source->width > 0 ? source->width : 0} * (source->height > 0 ? source->height : 0);
    const int64_t room = int64_t{destination->width > 0 ? destination->width : 0} *
                         (destination->height > 0 ? destination->height : 0);
    if (records > destination->capacity || cells > room || (records > 0 && (!source->items || !destination->items)) ||
        (cells > 0 && (!source->labels || !destination->labels)))
        return RESULT_INVALID_ARGUMENT;
    destination->originX = source->originX;
    destination->originY = source->originY;
    destination->width = source->width;
    destination->height = source->height;
    destination->maskPitch = source->maskPitch;
    destination->maskRows = source->maskRows;
    destination->count = source->count;
    if (records > 0) CopyBytes(destination->items, source->items, sizeof(ComponentRecord) * static_cast<size_t>(records));
    if (cells > 0) CopyBytes(destination->labels, source->labels, sizeof(int16_t) * static_cast<size_t>(cells));
    return RESULT_OK;
}
