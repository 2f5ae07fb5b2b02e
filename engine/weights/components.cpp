#include "components.h"

#include "core/memory.h"

void CreateComponentList(MemoryContext memory, ComponentList *list, uint32_t originX,
                         uint32_t originY, int32_t width, int32_t height, uint32_t maskPitch,
                         uint32_t maskRows, int32_t capacity) {
    if (!list) return;
    *list = ComponentList{};
    list->originX = originX;
    list->originY = originY;
    list->width = width > 0 ? width : 0;
    list->height = height > 0 ? height : 0;
    list->maskPitch = maskPitch;
    list->maskRows = maskRows;
    list->capacity = capacity > 0 ? capacity : 0;
    if (list->capacity > 0)
        list->items = AllocateZeroed<ComponentRecord>(memory, static_cast<uint64_t>(capacity));
    const uint64_t pixels = static_cast<uint64_t>(list->width) * static_cast<uint64_t>(list->height);
    if (pixels > 0) list->labels = AllocateZeroed<int16_t>(memory, pixels);
}

void DestroyComponentList(MemoryContext memory, ComponentList *list) {
    if (!list) return;
    FreeAndClear(memory, list->labels);
    FreeAndClear(memory, list->items);
    list->count = 0;
}

namespace {

// One provisional label: parent (0 for a root, the final label after resolution), area, and
// the x and y ranges packed as low 16 bits = first, high 16 bits = last.
struct Provisional {
    int32_t parent;
    int32_t area;
    int32_t xRange;
    int32_t yRange;
};

int32_t Pack(int32_t lo, int32_t hi) { return (lo & 0xFFFF) | (hi << 16); }
int32_t Low(int32_t packed) { return packed & 0xFFFF; }
int32_t High(int32_t packed) { return (packed >> 16) & 0xFFFF; }

int32_t Root(const Provisional *table, int32_t label) {
    while (table[label].parent != 0) label = table[label].parent;
    return label;
}

void Repoint(Provisional *table, int32_t label, int32_t root) {
    while (label != root) {
        const int32_t next = table[label].parent;
        table[label].parent = root;
        if (next == 0) break;
        label = next;
    }
}

void Widen(Provisional &p, int32_t x0, int32_t x1, int32_t y) {
    const int32_t lo = Low(p.xRange) < x0 ? Low(p.xRange) : x0;
    const int32_t hi = High(p.xRange) > x1 ? High(p.xRange) : x1;
    p.xRange = Pack(lo, hi);
    p.yRange = Pack(Low(p.yRange), y);
}

void AddToRecord(ComponentRecord &r, const Provisional &p) {
    if (r.area == 0) {
        r.x0 = Low(p.xRange);
        r.x1 = High(p.xRange);
        r.y0 = Low(p.yRange);
        r.y1 = High(p.yRange);
    } else {
        if (Low(p.xRange) < r.x0) r.x0 = Low(p.xRange);
        if (High(p.xRange) > r.x1) r.x1 = High(p.xRange);
        if (Low(p.yRange) < r.y0) r.y0 = Low(p.yRange);
        if (High(p.yRange) > r.y1) r.y1 = High(p.yRange);
    }
    r.area += p.area;
}

int32_t Fail(ComponentList *list, int32_t code) {
    list->count = code;
    return code;
}

}  // namespace

int32_t LabelComponents(MemoryContext memory, ComponentList *list, const uint8_t *mask,
                        int32_t connectivity, uint8_t value, int32_t relabel) {
    if (!list) return LABEL_NO_TABLE;
    const int32_t w = list->width, h = list->height;
    if (list->items) FillBytes(list->items, 0, sizeof(ComponentRecord) * list->capacity);
    if (!list->items || !list->labels || list->capacity < 1 || !mask) return Fail(list, LABEL_NO_TABLE);
    FillBytes(list->labels, 0, sizeof(int16_t) * static_cast<size_t>(w) * h);
    auto *seen = AllocateZeroed<int32_t>(memory, static_cast<uint64_t>(w) + 1);
    if (!seen) return Fail(list, LABEL_NO_SCRATCH);
    auto *table = AllocateZeroed<Provisional>(memory, static_cast<uint64_t>(list->capacity));
    if (!table) {
        FreeMemory(memory, seen);
        return Fail(list, LABEL_NO_TABLE);
    }
    const bool eight = connectivity != 4;
    int32_t next = list->capacity - 1;  // labels are handed out downward; 0 means none
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *row = mask + static_cast<size_t>(list->originY + y) * list->maskPitch + list->originX;
        int16_t *labelRow = list->labels + static_cast<size_t>(y) * w;
        const int16_t *above = y > 0 ? labelRow - w : nullptr;
        for (int32_t x = w - 1; x >= 0;) {
            if (row[x] != value) {
                --x;
                continue;
            }
            const int32_t x1 = x;
            while (x >= 0 && row[x] == value) --x;
            const int32_t x0 = x + 1;
            // Distinct labels of the row above over the run (widened by one with 8-connectivity).
            int32_t found = 0;
            if (above) {
                const int32_t a0 = eight && x0 > 0 ? x0 - 1 : x0;
                const int32_t a1 = eight && x1 < w - 1 ? x1 + 1 : x1;
                for (int32_t i = a0; i <= a1; ++i) {
                    const int32_t l = above[i];
                    if (l == 0) continue;
                    bool known = false;
                    for (int32_t k = 0; k < found; ++k) known = known || seen[k] == l;
                    if (!known) seen[found++] = l;
                }
            }
            int32_t label = 0;
            if (found == 0) {
                if (next >= 1) {
                    label = next--;
                    table[label] = {0, x1 - x0 + 1, Pack(x0, x1), Pack(y, y)};
                }
            } else {
                for (int32_t k = 0; k < found; ++k) {
                    const int32_t r = Root(table, seen[k]);
                    if (r > label) label = r;
                }
                for (int32_t k = 0; k < found; ++k) Repoint(table, seen[k], label);
                table[label].parent = 0;
                table[label].area += x1 - x0 + 1;
                Widen(table[label], x0, x1, y);
            }
            if (label != 0)
                for (int32_t i = x0; i <= x1; ++i) labelRow[i] = static_cast<int16_t>(label);
        }
    }
    // Resolution: parents are larger labels, so they are resolved first.
    int32_t finals = 0;
    for (int32_t l = list->capacity - 1; l > next; --l) {
        const int32_t parent = table[l].parent;
        const int32_t final = parent == 0 ? ++finals : table[parent].parent;
        table[l].parent = final;
        ComponentRecord &record = list->items[final - 1];
        record.index = final - 1;
        AddToRecord(record, table[l]);
    }
    if (relabel) {
        const size_t pixels = static_cast<size_t>(w) * h;
        for (size_t i = 0; i < pixels; ++i)
            if (list->labels[i] != 0) list->labels[i] = static_cast<int16_t>(table[list->labels[i]].parent);
    }
    FreeMemory(memory, table);
    FreeMemory(memory, seen);
    list->count = finals;
    return finals;
}

int64_t FloodFillRegion(MemoryContext memory, const uint8_t *mask, int32_t width, int32_t height,
                        int32_t pitch, int16_t *labels, int16_t label, int32_t seedX,
                        int32_t seedY, int32_t connectivity, uint8_t value, int32_t *outX0,
                        int32_t *outX1, int32_t *outY0, int32_t *outY1) {
    int32_t x0 = seedX, x1 = seedX, y0 = seedY, y1 = seedY;
    auto report = [&](int64_t result) {
        if (outX0) *outX0 = x0;
        if (outX1) *outX1 = x1;
        if (outY0) *outY0 = y0;
        if (outY1) *outY1 = y1;
        return result;
    };
    if (!mask || !labels || label == 0 || (connectivity != 4 && connectivity != 8) || seedX < 0 ||
        seedY < 0 ||
        seedX >= width || seedY >= height)
        return report(0);
    static constexpr int kDx[8] = {-1, 0, 1, 0, -1, 1, -1, 1};
    static constexpr int kDy[8] = {0, 1, 0, -1, -1, -1, 1, 1};
    const uint64_t capacity = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) + 1;
    auto *queue = AllocateZeroed<int16_t>(memory, 2 * capacity);
    if (!queue) return report(FLOOD_FILL_NO_QUEUE);
    uint64_t head = 0, tail = 0;
    labels[static_cast<size_t>(seedY) * pitch + seedX] = label;
    queue[2 * tail] = static_cast<int16_t>(seedX);
    queue[2 * tail + 1] = static_cast<int16_t>(seedY);
    ++tail;
    int64_t count = 1;
    while (head < tail) {
        const int32_t cx = queue[2 * head], cy = queue[2 * head + 1];
        ++head;
        for (int k = 0; k < connectivity; ++k) {
            const int32_t nx = cx + kDx[k], ny = cy + kDy[k];
            if (nx <= 0 || ny <= 0 || nx >= width - 1 || ny >= height - 1) continue;
            const size_t i = static_cast<size_t>(ny) * pitch + nx;
            if (labels[i] != 0 || mask[i] != value) continue;
            labels[i] = label;
            queue[2 * tail] = static_cast<int16_t>(nx);
            queue[2 * tail + 1] = static_cast<int16_t>(ny);
            ++tail;
            ++count;
            if (nx < x0) x0 = nx;
            if (nx > x1) x1 = nx;
            if (ny < y0) y0 = ny;
            if (ny > y1) y1 = ny;
        }
    }
    FreeMemory(memory, queue);
    return report(count);
}
