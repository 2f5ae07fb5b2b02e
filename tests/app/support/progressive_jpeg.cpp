#include "progressive_jpeg.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace fixtures {

namespace {

// A scan of one spectral position of the one component, from bit ah to bit al.
jpeg_scan_info Scan(int k, int ah, int al) {
    jpeg_scan_info scan{};
    scan.comps_in_scan = 1;
    scan.component_index[0] = 0;
    scan.Ss = scan.Se = k;
    scan.Ah = ah;
    scan.Al = al;
    return scan;
}

// The scans spread over the 64 coefficients, the DC first as the decoder requires: a coefficient
// with n scans starts at bit n - 1 and refines one bit a scan.
std::vector<jpeg_scan_info> ScanScript(int scans) {
    std::vector<jpeg_scan_info> script;
    for (int k = 0; k < DCTSIZE2; ++k) {
        const int levels = scans / DCTSIZE2 + (k < scans % DCTSIZE2 ? 1 : 0);
        script.push_back(Scan(k, 0, levels - 1));
        for (int bit = levels - 1; bit > 0; --bit) script.push_back(Scan(k, bit, bit - 1));
    }
    return script;
}

}  // namespace

QByteArray ProgressiveJpegWithScans(const QImage &image, int scans) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(grey.width());
    info.image_height = static_cast<JDIMENSION>(grey.height());
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    const std::vector<jpeg_scan_info> script = ScanScript(scans);
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(grey.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

QByteArray CutAfterScans(const QByteArray &jpeg, int scans) {
    const auto byte = [&](qsizetype i) { return static_cast<uint8_t>(jpeg[i]); };
    qsizetype at = 0;
    for (int scan = 0; scan < scans; ++scan) {
        at = jpeg.indexOf(QByteArray("\xFF\xDA", 2), at);
        if (at < 0) return {};
        at += 2 + (byte(at + 2) << 8 | byte(at + 3));
        // The scan's data runs to the first marker that is neither a stuffed 0xFF nor a restart.
        while (at + 1 < jpeg.size() &&
               !(byte(at) == 0xFF && byte(at + 1) != 0 && (byte(at + 1) & 0xF8) != 0xD0))
            ++at;
    }
    return jpeg.left(at) + QByteArray("\xFF\xD9", 2);
}

}  // namespace fixtures
