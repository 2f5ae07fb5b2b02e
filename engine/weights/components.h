// Connected regions of byte masks: a run-based labelling with union-find into a
// ComponentList, and a breadth-first flood fill of one region from a seed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hdr_engine.h"

struct ComponentRecord {
    int32_t area;
    int32_t index;           // label - 1; negative marks a record to drop
    int32_t x0, y0, x1, y1;  // inclusive box, relative to the labelled window
    // Analysis values; the labelling leaves them zero.
    int32_t centroidX;
    int32_t centroidY;
    int64_t centroidValid;
    int32_t score;
    int32_t isolationRadius;
    int32_t mergedInto;  // record that absorbed this one in a relabelling, else -1 once set
};

struct ComponentList {
    ComponentRecord *items;
    int16_t *labels;  // width x height, stride width
    uint32_t originX, originY;
    int32_t width, height;
    uint32_t maskPitch;
    uint32_t maskRows;
    int32_t count;  // components found, or a negative failure code
    int32_t capacity;
};

enum { COMPONENT_CAPACITY = 256 };
enum { LABEL_NO_SCRATCH = -1, LABEL_NO_TABLE = -2 };

// Calls visit(i) for every cell of record r's box that carries its label; i indexes the
// label map.
template <typename Visit>
void ForRegionCells(const ComponentList &list, const ComponentRecord &r, Visit visit) {
    const int16_t label = static_cast<int16_t>(r.index + 1);
    for (int32_t y = r.y0; y <= r.y1; ++y)
        for (int32_t x = r.x0; x <= r.x1; ++x) {
            const size_t i = static_cast<size_t>(y) * list.width + x;
            if (list.labels[i] == label) visit(i);
        }
}

// Allocates capacity zero-filled records and a width x height label map; a pointer stays null
// when its allocation fails (LabelComponents then reports LABEL_NO_TABLE).
void CreateComponentList(MemoryContext memory, ComponentList *list, uint32_t originX,
                         uint32_t originY, int32_t width, int32_t height, uint32_t maskPitch,
                         uint32_t maskRows, int32_t capacity);
void DestroyComponentList(MemoryContext memory, ComponentList *list);

// Labels the window's pixels equal to value (connectivity 4, any other value 8). Components
// are numbered from 1 in the order first met: rows from the top, runs within a row from the
// right. At most capacity - 1 provisional labels exist; runs beyond them stay 0. Returns the
// number of components (also in count): LABEL_NO_SCRATCH or LABEL_NO_TABLE when an
// allocation fails or the list has no records or label map, with the records cleared.
// Without relabel the map keeps the provisional labels.
int32_t LabelComponents(MemoryContext memory, ComponentList *list, const uint8_t *mask,
                        int32_t connectivity, uint8_t value, int32_t relabel);

// Labels the region of pixels equal to value around the seed (the seed itself untested),
// never entering the outermost ring of the mask. The label map uses the mask's pitch. The box
// outputs always hold the filled region's inclusive box (the seed alone at least).
// Returns the pixels labelled; 0 for a null mask or label map, label 0, a seed outside the mask or a
// connectivity other than 4 and 8; FLOOD_FILL_NO_QUEUE when the queue cannot be allocated.
enum { FLOOD_FILL_NO_QUEUE = -1 };
int64_t FloodFillRegion(MemoryContext memory, const uint8_t *mask, int32_t width, int32_t height,
                        int32_t pitch, int16_t *labels, int16_t label, int32_t seedX,
                        int32_t seedY, int32_t connectivity, uint8_t value, int32_t *outX0,
                        int32_t *outX1, int32_t *outY0, int32_t *outY1);
