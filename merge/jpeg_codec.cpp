// JPEG decoding through libjpeg, encoding through TurboJPEG's YUV plane interface: neither
// passes through colour conversion for YCbCr photos.
//
// libjpeg reports errors, and here also warnings about the data, by longjmp. Each function
// that calls setjmp returns false when libjpeg jumps back, reading none of its locals, and
// every allocation is held by objects made before it.
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>
#include <turbojpeg.h>

#include <libyuv/planar_functions.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "exif_orientation.h"
#include "jpeg_checks.h"
#include "yuv_planes.h"

namespace tonefold {
namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warning;  // the warning's code when a warning stopped the decoder, else 0
};

void OnJpegError(j_common_ptr info) {
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// A warning about metadata leaves the picture whole; any other means the picture is not what
// the file was meant to hold (data cut short or damaged) and stops the decoder. Nothing is
// printed: the reason reaches the user through the caller.
void OnJpegMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace messages
    const int code = info->err->msg_code;
    if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC) return;
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    (*info->err->format_message)(info, errors->message);
    errors->warning = code;
    std::longjmp(errors->jump, 1);
}

// The scans were counted before decoding; this holds the decoder to the same limit should it
// find more than the count.
void OnJpegProgress(j_common_ptr info) {
    auto *decoder = reinterpret_cast<j_decompress_ptr>(info);
    if (decoder->progressive_mode && decoder->input_scan_number > kMaxJpegScans) {
        auto *errors = reinterpret_cast<JpegErrors *>(info->err);
        std::snprintf(errors->message, sizeof errors->message,
                      "it has more than %d progressive scans", kMaxJpegScans);
        std::longjmp(errors->jump, 1);
    }
}

struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    bool unrefined = false;  // the input ended with coefficients not received to their last bit

    JpegDecoder() {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = OnJpegError;
        errors.manager.emit_message = OnJpegMessage;
        errors.progress.progress_monitor = OnJpegProgress;
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&info); }
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    // The reason for the last failure, in the decoder's own words.
    std::string Reason(const char *whenError) const {
        if (unrefined || errors.warning == JWRN_JPEG_EOF || errors.warning == JWRN_HIT_MARKER) {
            return "is truncated (its image data ends early)";
        }
        if (errors.warning != 0) return std::string("is damaged (") + errors.message + ")";
        return std::string(whenError) + " (" + errors.message + ")";
    }
};

bool ReadJpegHeader(JpegDecoder *decoder, const uint8_t *data, size_t size) {
    if (setjmp(decoder->errors.jump)) return false;
    jpeg_create_decompress(&decoder->info);
    decoder->info.progress = &decoder->errors.progress;
    jpeg_mem_src(&decoder->info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder->info, TRUE);
    return true;
}

// Where the raw rows of each iMCU row go: rows[c] points at the row pointers of component c,
// either of its whole plane or of a strip of stripImcuRows iMCU rows that is refilled once
// packed (onStrip is called each time it is full, and after the last row).
struct RawTarget {
    JSAMPARRAY rows[3] = {};
    bool strip = false;
    int32_t stripImcuRows = 1;
    void (*onStrip)(void *user, int32_t firstRow, int32_t rowCount) = nullptr;
    void *user = nullptr;
};

bool ReadRawRows(JpegDecoder *decoder, const RawTarget *target) {
    jpeg_decompress_struct *info = &decoder->info;
    if (setjmp(decoder->errors.jump)) return false;
    info->raw_data_out = TRUE;
    jpeg_start_decompress(info);  // a multi-scan file is read to its end here
    if (!JpegFullyRefined(*info)) {
        decoder->unrefined = true;
        return false;
    }
    const int32_t step = info->max_v_samp_factor * DCTSIZE;
    const int32_t height = static_cast<int32_t>(info->output_height);
    int32_t stripFirstRow = 0;
    int32_t inStrip = 0;  // iMCU rows in the strip so far
    for (int32_t row = 0; row < height; row += step) {
        JSAMPARRAY pointers[3] = {};
        for (int c = 0; c < info->num_components; ++c) {
            const int32_t componentRows = info->comp_info[c].v_samp_factor * DCTSIZE;
            const int32_t first = target->strip
                                      ? inStrip * componentRows
                                      : row * info->comp_info[c].v_samp_factor /
                                            info->max_v_samp_factor;
            pointers[c] = target->rows[c] + first;
        }
        jpeg_read_raw_data(info, pointers, static_cast<JDIMENSION>(step));
        ++inStrip;
        const int32_t end = std::min(row + step, height);
        if (target->onStrip != nullptr && (inStrip == target->stripImcuRows || end == height)) {
            target->onStrip(target->user, stripFirstRow, end - stripFirstRow);
            stripFirstRow = end;
            inStrip = 0;
        }
    }
    jpeg_finish_decompress(info);
    return true;
}

bool ReadBgrxRows(JpegDecoder *decoder, JSAMPARRAY rows) {
    jpeg_decompress_struct *info = &decoder->info;
    if (setjmp(decoder->errors.jump)) return false;
    info->out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(info);  // a multi-scan file is read to its end here
    if (!JpegFullyRefined(*info)) {
        decoder->unrefined = true;
        return false;
    }
    while (info->output_scanline < info->output_height) {
        jpeg_read_scanlines(info, rows + info->output_scanline,
                            info->output_height - info->output_scanline);
    }
    jpeg_finish_decompress(info);
    return true;
}

// Luma at full resolution and both chroma components alike: the planes are the picture.
bool HasPlainPlanes(const jpeg_decompress_struct &info) {
    if (info.num_components == 1) return info.jpeg_color_space == JCS_GRAYSCALE;
    if (info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr) return false;
    const jpeg_component_info *c = info.comp_info;
    return c[0].h_samp_factor == info.max_h_samp_factor &&
           c[0].v_samp_factor == info.max_v_samp_factor &&
           c[1].h_samp_factor == c[2].h_samp_factor && c[1].v_samp_factor == c[2].v_samp_factor;
}

// Rows of each component for imcuRows iMCU rows (a strip, or the whole picture); the strides
// cover every block libjpeg writes.
void AllocateRawPlanes(const jpeg_decompress_struct &info, int32_t imcuRows, YuvPlanes *planes) {
    const int count = info.num_components;
    int32_t strides[3] = {};
    int32_t rows[3] = {};
    for (int c = 0; c < count; ++c) {
        const jpeg_component_info &component = info.comp_info[c];
        strides[c] = static_cast<int32_t>(component.width_in_blocks) * DCTSIZE;
        rows[c] = component.v_samp_factor * DCTSIZE * imcuRows;
    }
    const bool colour = count == 3;
    AllocatePlanes(planes, static_cast<int32_t>(info.image_width),
                   static_cast<int32_t>(info.image_height),
                   colour ? static_cast<int32_t>(info.comp_info[1].downsampled_width) : 0,
                   colour ? static_cast<int32_t>(info.comp_info[1].downsampled_height) : 0,
                   strides, rows);
}

std::vector<JSAMPROW> RowPointers(uint8_t *first, int32_t stride, int32_t rows) {
    std::vector<JSAMPROW> pointers(static_cast<size_t>(rows));
    for (int32_t y = 0; y < rows; ++y) pointers[y] = first + static_cast<size_t>(y) * stride;
    return pointers;
}

constexpr int32_t kTurnedStripRows = 64;

struct StripPacker {
    const YuvPlanes *strip;
    YuyvImage *image;
    int orientation;
    PixelBuffer scratch;  // for turning strips
    double milliseconds;
};

void PackStrip(void *user, int32_t firstRow, int32_t rowCount) {
    auto *packer = static_cast<StripPacker *>(user);
    const auto start = std::chrono::steady_clock::now();
    if (packer->orientation == 1) {
        PackYuyvStrip(*packer->strip, firstRow, rowCount, packer->image);
    } else {
        PackOrientedStrip(*packer->strip, firstRow, rowCount, packer->orientation,
                          packer->scratch.get(), packer->image);
        if (firstRow + rowCount == packer->strip->height) PadPackedRows(packer->image);
    }
    packer->milliseconds +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
}

// Stored as RGB, or luma subsampled against chroma: through B, G, R, X pixels.
bool DecodeThroughPixels(JpegDecoder *decoder, YuvPlanes *planes, std::string *reason) {
    const int32_t width = static_cast<int32_t>(decoder->info.image_width);
    const int32_t height = static_cast<int32_t>(decoder->info.image_height);
    const int32_t stride = width * 4;
    PixelBuffer pixels = AllocatePixels(static_cast<size_t>(stride) * height);
    std::vector<JSAMPROW> rows = RowPointers(pixels.get(), stride, height);
    if (!ReadBgrxRows(decoder, rows.data())) {
        *reason = decoder->Reason("cannot be decoded");
        return false;
    }
    PlanesFromBgrx(pixels.get(), stride, width, height, planes);
    return true;
}

// The planes as stored. A photo whose chroma packs as it stands once upright goes into the
// packed rows strip by strip while it decodes, each strip turned by the orientation: no
// whole-picture planes, and each strip is turned and packed while in cache.
bool DecodeRaw(JpegDecoder *decoder, int orientation, bool stripPacking, YuvPlanes *planes,
               YuyvImage *image, std::string *reason, double *packMs) {
    const jpeg_decompress_struct &info = decoder->info;
    const int32_t width = static_cast<int32_t>(info.image_width);
    const int32_t height = static_cast<int32_t>(info.image_height);
    const bool colour = info.num_components == 3;
    const jpeg_component_info &chroma = info.comp_info[1];
    RawTarget target;
    target.strip = stripPacking && colour &&
                   PacksUprightWithoutResampling(width, height,
                                                 static_cast<int32_t>(chroma.downsampled_width),
                                                 static_cast<int32_t>(chroma.downsampled_height),
                                                 orientation);
    const int32_t imcuHeight = info.max_v_samp_factor * DCTSIZE;
    // A turned strip lands as a band across the upright rows: strips of some 64 rows keep the
    // writes to each packed row whole cache lines.
    if (target.strip && orientation != 1) {
        target.stripImcuRows = std::max<int32_t>(1, kTurnedStripRows / imcuHeight);
    }
    const int32_t imcuRows =
        target.strip ? target.stripImcuRows : static_cast<int32_t>(info.total_iMCU_rows);
    AllocateRawPlanes(info, imcuRows, planes);
    StripPacker packer{planes, image, orientation, PixelBuffer(), 0.0};
    if (target.strip) {
        const bool swap = orientation >= 5;  // 5..8 turn by a quarter
        AllocatePackedRows(swap ? height : width, swap ? width : height, image);
        if (orientation != 1) {
            packer.scratch =
                AllocatePixels(OrientedStripScratchBytes(*planes, imcuRows * imcuHeight));
        }
        target.onStrip = PackStrip;
        target.user = &packer;
    }
    std::vector<JSAMPROW> rows[3];
    for (int c = 0; c < info.num_components; ++c) {
        const int32_t count = info.comp_info[c].v_samp_factor * DCTSIZE * imcuRows;
        rows[c] = RowPointers(planes->plane[c], planes->stride[c], count);
        target.rows[c] = rows[c].data();
    }
    if (!ReadRawRows(decoder, &target)) {
        *reason = decoder->Reason("cannot be decoded");
        planes->block.reset();
        image->pixels.reset();
        return false;
    }
    if (target.strip) {
        planes->block.reset();
        *packMs = packer.milliseconds;
    }
    return true;
}

// Everything that can refuse a file before its picture is decoded: the markers of tables and
// metadata, data within the frame's bounds, a complete layout, the scan limit, the size and the
// colour components. Leaves the decoder past the header.
bool OpenJpeg(JpegDecoder *decoder, const uint8_t *data, size_t size, int *orientation,
              std::string *reason) {
    const JpegMarkerScan markers = ScanJpegMarkers(data, size);
    // What the walk met before it stopped, before what it did not reach.
    for (const std::string &bad : {CheckJpegMarkerCount(markers.markers),
                                   JpegDataRefusal(markers.dataFault)}) {
        if (!bad.empty()) {
            *reason = bad;
            return false;
        }
    }
    if (!markers.hasScan || !markers.hasEnd) {
        *reason = "is truncated or not a complete JPEG file";
        return false;
    }
    *orientation = markers.orientation;
    if (!ReadJpegHeader(decoder, data, size)) {
        *reason = decoder->Reason("is not a valid JPEG");
        return false;
    }
    const jpeg_decompress_struct &info = decoder->info;
    if (const std::string bad = CheckJpegScanCount(markers.scanCount, info.progressive_mode);
        !bad.empty()) {
        *reason = bad;
        return false;
    }
    if (const std::string bad = CheckPhotoSize(info.image_width, info.image_height); !bad.empty()) {
        *reason = bad;
        return false;
    }
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        *reason = "is a CMYK JPEG, which is not supported";
        return false;
    }
    if (info.num_components != 1 && info.num_components != 3) {
        *reason = "has " + std::to_string(info.num_components) +
                  " colour components, which is not supported";
        return false;
    }
    return true;
}

}  // namespace

bool CheckJpegHeader(const uint8_t *data, size_t size, std::string *reason,
                     UprightSize *upright) {
    JpegDecoder decoder;
    int orientation = 1;
    if (!OpenJpeg(&decoder, data, size, &orientation, reason)) return false;
    *upright = UprightSizeOf(decoder.info.image_width, decoder.info.image_height, orientation);
    return true;
}

bool DecodeJpeg(const uint8_t *data, size_t size, YuvPlanes *planes, YuyvImage *image,
                int *orientation, std::string *reason, double *packMs, bool stripPacking) {
    JpegDecoder decoder;
    if (!OpenJpeg(&decoder, data, size, orientation, reason)) return false;
    const jpeg_decompress_struct &info = decoder.info;
    if (!HasPlainPlanes(info)) return DecodeThroughPixels(&decoder, planes, reason);
    return DecodeRaw(&decoder, *orientation, stripPacking, planes, image, reason, packMs);
}

namespace {

struct TurboHandle {
    tjhandle handle;
    explicit TurboHandle(tjhandle h) : handle(h) {}
    ~TurboHandle() {
        if (handle != nullptr) tjDestroy(handle);
    }
    TurboHandle(const TurboHandle &) = delete;
    TurboHandle &operator=(const TurboHandle &) = delete;
};

// The library's message without the name of its function ("name(): message").
std::string TurboError(tjhandle handle) {
    const std::string message = tjGetErrorStr2(handle);
    const size_t named = message.find("(): ");
    return named == std::string::npos ? message : message.substr(named + 4);
}

}  // namespace

bool EncodeJpeg(const YuyvView &picture, int quality, std::vector<uint8_t> *out,
                std::string *reason, EncodeTimes *times) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const int32_t evenWidth = (picture.width + 1) & ~1;
    if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1 ||
        picture.pitch < 2 * evenWidth) {
        *reason = "no picture to encode";
        return false;
    }
    const int32_t chromaWidth = evenWidth / 2;
    const size_t lumaBytes = static_cast<size_t>(evenWidth) * picture.height;
    const size_t chromaBytes = static_cast<size_t>(chromaWidth) * picture.height;
    auto block = AllocatePixels(lumaBytes + 2 * chromaBytes);
    uint8_t *planes[3] = {block.get(), block.get() + lumaBytes,
                          block.get() + lumaBytes + chromaBytes};
    // An odd width keeps the last pair's second luma: TurboJPEG reads whole 4:2:2 pairs.
    libyuv::YUY2ToI422(picture.pixels, picture.pitch, planes[0], evenWidth, planes[1], chromaWidth,
                       planes[2], chromaWidth, evenWidth, picture.height);
    const Clock::time_point converted = Clock::now();

    TurboHandle encoder(tjInitCompress());
    if (encoder.handle == nullptr) {
        *reason = "cannot be encoded (no JPEG encoder)";
        return false;
    }
    const int strides[3] = {evenWidth, chromaWidth, chromaWidth};
    const unsigned char *constPlanes[3] = {planes[0], planes[1], planes[2]};
    unsigned char *jpeg = nullptr;
    unsigned long jpegSize = 0;
    if (tjCompressFromYUVPlanes(encoder.handle, constPlanes, picture.width, strides, picture.height,
                                TJSAMP_422, &jpeg, &jpegSize, quality, 0) != 0) {
        *reason = "cannot be encoded (" + TurboError(encoder.handle) + ")";
        tjFree(jpeg);
        return false;
    }
    out->assign(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    if (times != nullptr) {
        times->convertMs = std::chrono::duration<double, std::milli>(converted - start).count();
        times->encodeMs =
            std::chrono::duration<double, std::milli>(Clock::now() - converted).count();
    }
    return true;
}

}  // namespace tonefold
