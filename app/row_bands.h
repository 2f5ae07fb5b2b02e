// Splitting picture-wide passes into bands of rows that run side by side: the passes the bridge
// and the views make over whole pictures are row by row, so bands give the same bytes as one
// pass over all rows.
#pragma once

#include <cstdint>
#include <functional>

// Calls work(firstRow, endRow) for bands covering rows 0 .. rows - 1, each band's first row a
// multiple of `align` (for passes that take rows in pairs), on up to four threads, the calling
// thread among them; returns when every band is done. Small pictures (under minRows rows a band)
// are done in one band on the calling thread.
void ForEachRowBand(int64_t rows, int64_t minRows, int64_t align,
                    const std::function<void(int64_t, int64_t)> &work);
