// Tools over a labelled ComponentList that no merge stage calls: relabelling, centroids and
// matching between lists, shifted copies, filters by size and fill, an isolation radius,
// contour tracing, span filling and overlap counts.
//
// Record i of a list carries label i + 1 in the label map. Unless said otherwise a tool visits,
// for a component, the cells of its inclusive box (clipped to the map) that carry its label.
// Nothing here allocates: the packing steps renumber through the records themselves, so they
// cannot fail half-way. A null list, a list without records or label map, or a record index
// outside 0..count - 1 is refused as each function says.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "weights/components.h"

// Labels the non-zero entries of the list's own label map again in row order: a cell joins
// the components of its labelled left and upper neighbours (with connectivity 8 also upper-left
// and upper-right; any other value is 4); where several meet, the record of smallest index
// absorbs the others (areas added, boxes merged, mergedInto set). A cell with no labelled
// neighbour starts a new record while records are left, else it becomes 0. The surviving
// records are then packed in order, renumbered from 0 and the map rewritten with their labels.
// Returns the survivors (also in count); LABEL_NO_TABLE for a list without records or map
// (the list is left as it was). The memory context is not used.
int32_t RelabelComponentMap(MemoryContext memory, ComponentList *list, int32_t connectivity);

// Mean x and mean y (integer division) of record i's cells, cached in the record
// (centroidValid = 1). RESULT_OK, or RESULT_INVALID_ARGUMENT when no record i exists. A record
// whose label is found on no cell takes its box's top-left corner.
int32_t ComponentCentroid(ComponentList *list, int32_t i, int32_t *centroidX, int32_t *centroidY);

// Sets *matched to 1 when the areas of A's record a and B's record b differ by at most 39 and
// both centroid coordinates by less than 20, else to 0. RESULT_OK, or RESULT_INVALID_ARGUMENT
// (matched 0) when either record is missing.
int32_t MatchComponents(ComponentList *a, int32_t indexA, ComponentList *b, int32_t indexB,
                        int32_t *matched);

// Appends B's record `index` to A as record A.count: its box shifted by (dx, dy) and clipped
// to A's map, its cells copied to the shifted place in A's map with label A.count + 1, its
// area the cells copied and its cached centroid cleared. RESULT_INVALID_ARGUMENT when the
// shifted box lies wholly outside A's map, A has no free record (or no label left), or a
// record is missing; A is then unchanged.
int32_t CopyComponentShifted(ComponentList *a, const ComponentList *b, int32_t index, int32_t dx,
                             int32_t dy);

// Drops the records whose index is negative, renumbers the rest in order and rewrites the
// label map (cells of dropped records become 0). The memory context is not used.
void CompactComponents(MemoryContext memory, ComponentList *list);

// Marks (index = -1) every record with area below minArea or above maxArea, a box span
// x1 - x0 or y1 - y0 of at least maxSide, or a box side x1 - x0 + 1 or y1 - y0 + 1 of at most
// minSide; compacts when compact is positive. Returns the records left unmarked.
int32_t FilterComponentsBySize(MemoryContext memory, ComponentList *list, int32_t maxArea,
                               int32_t minArea, int32_t minSide, int32_t maxSide, int32_t compact);
// Marks every record filling less than 1/30 of (x1 - x0)(y1 - y0); compacts when compact is
// positive. Returns the records left unmarked.
int32_t FilterComponentsByFill(MemoryContext memory, ComponentList *list, int32_t ignored,
                               int32_t compact);

// Ring search around the points (x, y pairs) of record `index`: for r = 1 .. maxRadius every
// point looks r cells along each of the eight compass directions; the first r that meets a
// cell of another component whose record score is below minScore is the radius, else
// maxRadius + 1. The radius is also stored in the record. 0 for a missing record.
int32_t ComponentIsolationRadius(ComponentList *list, int32_t index, const int32_t *points,
                                 int32_t pointCount, int32_t maxRadius, int32_t minScore);

// Largest area among the records; 0 for an empty or null list.
int32_t MaxComponentArea(const ComponentList *list);

// Traces the outer boundary of the component with `label`, starting at its first cell in row
// order inside its record's box: from each cell the eight neighbours are tried from the current
// direction on (down-left, down, down-right, right, up-right, up, up-left, left), the first
// labelled one is taken and recorded, and the next search starts two directions back. Ends on
// returning to the start, after maxPoints points, or at a cell without labelled neighbour.
// Writes x, y pairs to points; returns how many (the start included), 0 for a label without
// cells or record.
int32_t TraceComponentContour(const ComponentList *list, int32_t *points, int32_t maxPoints,
                              int32_t label);

// Per component, in plane 0 of image (of the map's size): on each row of its box the bytes
// between its first and last cell become 64 unless 255; on each column the bytes between its
// first and last cell gain 64 (saturating) unless 255; then every byte of the box becomes 255
// when at least 128, else 0. RESULT_OK, or RESULT_INVALID_ARGUMENT for a null list or an image
// of another size, without plane 0 or with a pitch below its width.
int32_t FillComponentSpans(const ComponentList *list, ImageDesc *image);

// Writes 255 where the label map is non-zero and 0 elsewhere into plane 0 of image.
// RESULT_OK, or RESULT_INVALID_ARGUMENT when the image's size differs from the map's (or the
// list or plane is missing).
int32_t ComponentMaskToImage(const ComponentList *list, ImageDesc *image);

// Cells of A's record `index` whose label in B (same coordinates) is labelB + 1; 0 for a
// missing record.
int32_t CountOverlapWithLabel(const ComponentList *a, int32_t index, const ComponentList *b,
                              int32_t labelB);
// Cells of A's record `index` whose label in B is positive; 0 for a missing record.
int32_t CountOverlap(const ComponentList *a, int32_t index, const ComponentList *b);

// Copies the source's header fields, its count records and its whole label map; the
// destination keeps its own record and label-map storage (and capacity). RESULT_OK, or
// RESULT_INVALID_ARGUMENT when the destination's storage cannot hold the source (nothing
// is copied then).
int32_t CopyComponentList(ComponentList *destination, const ComponentList *source);
