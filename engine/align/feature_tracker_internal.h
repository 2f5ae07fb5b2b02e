// Steps shared by the creation, re-detection and tracking of the feature tracker.
#pragma once

#include <cstdint>

#include "align/feature_tracker.h"

// Plane 0 exists, has a positive size and a pitch of at least its width.
bool TrackerImageUsable(const ImageDesc *image);

// Copies plane 0 of image into level, level->width bytes per row.
void CopyImageIntoLevel(const ImageDesc *image, Plane8 *level);

// Recomputes the gradients of every reference level, reducing each level into the next.
// False (nothing changed) when the scratch cannot be allocated.
bool RebuildReferenceGradients(MemoryContext memory, FeatureTracker *tracker);

// Finds the corners of the reference as at creation, computes their descriptors and stores
// their positions as floats; returns the count (0 when the work buffers cannot be had).
int32_t DetectReferenceFeatures(MemoryContext memory, FeatureTracker *tracker);

// Computes the descriptor of feature j at the integer position (x, y) and stores the position.
void SetReferenceFeature(FeatureTracker *tracker, int32_t j, int32_t x, int32_t y);
