// Exposure ordering: the darkest exposure has the largest gain, the brightest the smallest,
// the reference is the median. A fixed tree of comparisons settles ties, and every later stage
// inherits its choice.
#pragma once

#include <cstdint>

struct HdrSession;

// Writes darkIndex, brightIndex and referenceIndex from gains[0..2]. Two exposures: the
// reference is input 0; one exposure (or any other count): all three indices 0.
// RESULT_OK; RESULT_INVALID_ARGUMENT for a null session or gains.
int OrderExposures(HdrSession *session, const double *gains, int32_t count);

// The same decision, except that three exposures with g1 > g0 = g2 give brightest 0 and
// reference 2, and two exposures take the brightest as the reference.
int OrderExposuresVariant(HdrSession *session, const double *gains, int32_t count);
