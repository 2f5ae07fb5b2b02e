#include "jpeg_checks.h"

namespace tonefold {

std::string CheckJpegScanCount(int scanCount, bool progressive) {
    if (scanCount <= kMaxJpegScans) return {};
    return std::string("cannot be decoded (it has more than ") + std::to_string(kMaxJpegScans) +
           (progressive ? " progressive scans)" : " scans)");
}

bool JpegFullyRefined(const jpeg_decompress_struct &info) {
    if (!info.progressive_mode) return true;
    if (info.coef_bits == nullptr) return false;
    // coef_bits holds, for each coefficient, the lowest bit received so far (-1: none yet).
    for (int c = 0; c < info.num_components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (info.coef_bits[c][k] != 0) return false;
        }
    }
    return true;
}

}  // namespace tonefold
