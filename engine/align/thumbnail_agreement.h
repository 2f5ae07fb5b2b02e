// How well candidate transforms lay a level-mapped exposure thumbnail onto the reference
// thumbnail, measured only where both photos hold real levels.
//
// Histogram matching maps each clipped level of an exposure (a blown sky, crushed shadows) onto
// one level of the reference, so there the two thumbnails do not agree whatever the motion;
// comparing them anywhere else tells a motion that brings the photos together from one that
// the tracker's bias made up.
#pragma once

#include <cstdint>

#include "align/projective_fit.h"
#include "core/engine_types.h"

// A thumbnail luma at or above kClippedHigh or at or below kClippedLow is taken as clipped.
constexpr int32_t kClippedHigh = 250;
constexpr int32_t kClippedLow = 5;

// errors[k] := the mean absolute difference between the reference's luma at p and the mapped
// exposure's luma sampled bilinearly at candidates[k](p), over the same pixels p for every
// candidate: p at least one pixel inside the frame, the reference's luma unclipped at p, and for
// every candidate a source position inside the frame whose four neighbours are unclipped in own
// (the exposure's thumbnail before level mapping). Plane 0 of each image is read; all three
// have the same size. Returns the number of pixels measured; with none (or a count outside
// 1..8) the errors are 0.
int64_t MeasureThumbnailDisagreement(const ImageDesc *reference, const ImageDesc *mapped,
                                     const ImageDesc *own,
                                     const ProjectiveTransform *candidates, int32_t count,
                                     double *errors);
