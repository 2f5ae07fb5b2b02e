// JPEG through TurboJPEG's YUV plane interface: decoding and encoding skip colour conversion.
#include <turbojpeg.h>

#include <libyuv/planar_functions.h>

#include <chrono>
#include <cstring>

#include "exif_orientation.h"
#include "yuv_planes.h"

namespace tonefold {
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

std::string TurboError(tjhandle handle) { return tjGetErrorStr2(handle); }

// Planes with TurboJPEG's own sizes: luma is padded to whole chroma samples, and each
// chroma plane holds exactly the samples that cover the picture.
bool AllocateJpegPlanes(YuvPlanes *planes, int width, int height, int subsampling) {
    const int count = subsampling == TJSAMP_GRAY ? 1 : 3;
    int32_t strides[3] = {};
    int32_t rows[3] = {};
    for (int p = 0; p < count; ++p) {
        strides[p] = tjPlaneWidth(p, width, subsampling);
        rows[p] = tjPlaneHeight(p, height, subsampling);
        if (strides[p] < 1 || rows[p] < 1) return false;
    }
    AllocatePlanes(planes, width, height, count == 3 ? strides[1] : 0, count == 3 ? rows[1] : 0,
                   strides, rows);
    return true;
}

// Colour JPEGs stored as RGB (no YCbCr transform) decode to pixels, then to planes.
bool DecodeRgbJpeg(tjhandle handle, const uint8_t *data, size_t size, int width, int height,
                   YuvPlanes *planes, std::string *reason) {
    const int32_t stride = width * 4;
    auto pixels = AllocatePixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
    if (tjDecompress2(handle, data, static_cast<unsigned long>(size), pixels.get(), width, stride,
                      height, TJPF_BGRX, TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(handle) != TJERR_WARNING) {
        *reason = "cannot be decoded (" + TurboError(handle) + ")";
        return false;
    }
    PlanesFromBgrx(pixels.get(), stride, width, height, planes);
    return true;
}

}  // namespace

bool DecodeJpegPlanes(const uint8_t *data, size_t size, YuvPlanes *planes, int *orientation,
                      std::string *reason) {
    const JpegMarkerScan markers = ScanJpegMarkers(data, size);
    if (!markers.hasScan || !markers.hasEnd) {
        *reason = "is truncated or not a complete JPEG file";
        return false;
    }
    *orientation = markers.orientation;
    TurboHandle decoder(tjInitDecompress());
    if (decoder.handle == nullptr) {
        *reason = "cannot be decoded (no JPEG decoder)";
        return false;
    }
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decoder.handle, data, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colorspace) != 0) {
        *reason = "is not a valid JPEG (" + TurboError(decoder.handle) + ")";
        return false;
    }
    if (const std::string bad = CheckPhotoSize(width, height); !bad.empty()) {
        *reason = bad;
        return false;
    }
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
        *reason = "is a CMYK JPEG, which is not supported";
        return false;
    }
    if (colorspace == TJCS_RGB) {
        return DecodeRgbJpeg(decoder.handle, data, size, width, height, planes, reason);
    }
    if (!AllocateJpegPlanes(planes, width, height, subsampling)) {
        *reason = "has a chroma subsampling that is not supported";
        return false;
    }
    int strides[3] = {planes->stride[0], planes->stride[1], planes->stride[2]};
    // Warnings (stray bytes between markers and the like) still give a whole picture;
    // a file cut short was refused above.
    if (tjDecompressToYUVPlanes(decoder.handle, data, static_cast<unsigned long>(size),
                                planes->plane, width, strides, height, TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(decoder.handle) != TJERR_WARNING) {
        *reason = "cannot be decoded (" + TurboError(decoder.handle) + ")";
        planes->block.reset();
        return false;
    }
    return true;
}

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
