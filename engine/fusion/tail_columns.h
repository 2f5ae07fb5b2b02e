// The columns past the band pass's last whole four-pixel group. The span kernels fuse groups of
// four pixels, so a frame whose width is not a multiple of 4 keeps one to three columns the
// bands do not reach; they take the fusion of their neighbour, and the frame is then fused to
// its edge and lines up with the photos without a rescale.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// image: the fused frame, the bands' output in place of the reference. fusedWidth: the columns
// the bands fused, a multiple of 4 below the image's width. originalLuma: the reference's luma
// as it was before the pass, rows of lumaPitch bytes.
// Each tail pixel's luma moves by what the fusion did to the last fused pixel of its row; each
// tail chroma sample takes the fused sample beside it. Formats without a band renderer, and
// frames the bands covered, are left as they are.
void FuseTailColumns(const ImageDesc &image, int32_t fusedWidth, const uint8_t *originalLuma,
                     int32_t lumaPitch);
