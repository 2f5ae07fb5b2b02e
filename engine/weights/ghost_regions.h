// Cleaning of the ghost candidate masks on the block grid, the motion test of dark-ghost
// regions and the hand-over of regions to one exposure.
#pragma once

#include <cstdint>

#include "core/session.h"
#include "weights/components.h"

// Fills the enclosed holes (0 regions) of a 0/255 mask. A hole whose box reaches a side of the
// interior (column 1 or width - 3, row 1 or height - 3; the frame is set first) and whose area
// is at least 4 x holeLimit stays open. With rowFill, large regions are first closed row by row between their outermost
// cells. holeLabels is a plane of at least width x height int16 with pitch width. The mask's
// border is then replicated. RESULT_OK or RESULT_OUT_OF_MEMORY (the mask partly done).
int FillMaskHoles(MemoryContext memory, int16_t *holeLabels, uint8_t *mask, int32_t width,
                  int32_t height, int64_t holeLimit, int32_t rowFill);

// Fills into output the parts of list B's regions (area >= 100) that touch a region of list A
// (area >= 500); see the source for the box limits. With brightness (needs data and
// brightLuma), large B regions with almost no clipped bright cells are filled where data is set.
void LinkRegions(const ComponentList *a, uint8_t *output, int32_t width, int32_t height,
                 const ComponentList *b, const uint8_t *data, int32_t keepExtent,
                 int32_t brightness, const int16_t *brightLuma);

// Adds to mask, dilated by 4, the cells of source within 2 cells of mask. RESULT_OK or
// RESULT_OUT_OF_MEMORY (mask unchanged).
int GrowIntoMask(uint8_t *mask, const uint8_t *source, int32_t width, int32_t height,
                 MemoryContext memory);

void ApplyDarkMask(int32_t auxMode, int16_t *referenceWeights, int16_t *darkWeights,
                   const uint8_t *mask, int32_t width, int32_t height, int32_t mode);

// Tests the large weak-dark regions against the registration's feature motion; a moving region
// is given to the reference through t0..t3. RESULT_OK or RESULT_OUT_OF_MEMORY.
int TestRegionMotion(MemoryContext memory, HdrSession *session, int32_t auxMode, int32_t width,
                     int32_t height, int16_t *referenceWeights, const int16_t *referenceLuma,
                     const uint8_t *weakDark, const uint8_t *wideBright, uint8_t *t0, uint8_t *t1,
                     uint8_t *t2, uint8_t *t3, int32_t *mode, int32_t *moving);

// The candidate masks of the ghost detection, all width x height 0/255 grids.
struct GhostCandidates {
    uint8_t *strongDark;
    uint8_t *strongBright;
    uint8_t *weakDark;
    uint8_t *wideBright;
    uint8_t *openedBright;
};

// Cleans the candidates, hands regions to one exposure in the weight grids and ghostMasks,
// sets movingRegionMode and possibly droppedExposure, misaligned marks and pendingStatus.
// RESULT_OK; RESULT_OUT_OF_MEMORY (nothing changed when the working planes cannot be made).
int RefineGhostRegions(MemoryContext memory, HdrSession *session, const int16_t *referenceLuma,
                       const int16_t *brightLuma, int32_t width, int32_t height,
                       int16_t *darkWeights, int16_t *brightWeights, int16_t *referenceWeights,
                       const GhostCandidates &candidates);

// Area limit of strong regions and box limits of wide bright regions at ghost level L: a
// region beyond them sets RESULT_EXCESSIVE_MOTION.
int64_t StrongRegionAreaLimit(int64_t cells, int32_t level);
int32_t WideRegionSideLimit(int32_t side, int32_t level);
