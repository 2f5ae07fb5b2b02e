// Synthetic photos for the merge program's tests: JPEG and PNG files made in memory, EXIF
// orientation tags spliced into them, a scratch folder.
#pragma once

#include <png.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "photo_io.h"

namespace photo_support {

// Planar YUV at a TurboJPEG subsampling, chroma sampled at the top-left luma of each block.
struct Planes {
    int width = 0, height = 0, subsampling = TJSAMP_444;
    std::vector<uint8_t> plane[3];
    int stride[3] = {};
    int rows[3] = {};
};

// A scene with some structure whose chroma varies slowly, so subsampling loses little, and
// whose colours all lie inside the RGB cube, so a trip through RGB loses only rounding.
inline uint8_t SceneLuma(int x, int y) { return static_cast<uint8_t>(70 + (x * 3 + y * 2) % 120); }
inline uint8_t SceneU(int x, int y) { return static_cast<uint8_t>(110 + (x / 4 + y / 8) % 40); }
inline uint8_t SceneV(int x, int y) { return static_cast<uint8_t>(110 + (x / 8 + y / 4) % 40); }

template <typename Luma, typename U, typename V>
Planes MakePlanes(int width, int height, int subsampling, Luma luma, U u, V v) {
    Planes planes;
    planes.width = width;
    planes.height = height;
    planes.subsampling = subsampling;
    const int count = subsampling == TJSAMP_GRAY ? 1 : 3;
    for (int p = 0; p < count; ++p) {
        planes.stride[p] = tjPlaneWidth(p, width, subsampling);
        planes.rows[p] = tjPlaneHeight(p, height, subsampling);
        planes.plane[p].resize(static_cast<size_t>(planes.stride[p]) * planes.rows[p]);
    }
    const int sx = count == 3 ? tjPlaneWidth(0, width, subsampling) / planes.stride[1] : 1;
    const int sy = count == 3 ? tjPlaneHeight(0, height, subsampling) / planes.rows[1] : 1;
    for (int p = 0; p < count; ++p) {
        for (int y = 0; y < planes.rows[p]; ++y) {
            for (int x = 0; x < planes.stride[p]; ++x) {
                const int lx = std::min(p == 0 ? x : x * sx, width - 1);
                const int ly = std::min(p == 0 ? y : y * sy, height - 1);
                planes.plane[p][static_cast<size_t>(y) * planes.stride[p] + x] =
                    p == 0   ? luma(lx, ly)
                    : p == 1 ? u(lx, ly)
                             : v(lx, ly);
            }
        }
    }
    return planes;
}

inline Planes MakeScenePlanes(int width, int height, int subsampling) {
    return MakePlanes(width, height, subsampling, SceneLuma, SceneU, SceneV);
}

inline std::vector<uint8_t> EncodePlanesAsJpeg(const Planes &planes, int quality = 95) {
    tjhandle handle = tjInitCompress();
    const unsigned char *source[3] = {planes.plane[0].data(), planes.plane[1].data(),
                                      planes.plane[2].data()};
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> bytes;
    if (tjCompressFromYUVPlanes(handle, source, planes.width, planes.stride, planes.height,
                                planes.subsampling, &jpeg, &size, quality, 0) == 0) {
        bytes.assign(jpeg, jpeg + size);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

// Three exposures of one textured scene differ by the gain on its luma: width x height, the
// luma scaled by gain (clipped at 255), JPEG at quality 92.
inline uint8_t TexturedLuma(int x, int y) {
    const unsigned cell = static_cast<unsigned>((x / 12) * 7919 + (y / 12) * 104729) * 2654435761u;
    return static_cast<uint8_t>(40 + (cell >> 24) % 120 + (x + y) % 20);
}

inline std::vector<uint8_t> TexturedExposureJpeg(int width, int height, double gain,
                                                 int subsampling = TJSAMP_420) {
    auto luma = [gain](int x, int y) {
        return static_cast<uint8_t>(std::min(255.0, std::round(TexturedLuma(x, y) * gain)));
    };
    return EncodePlanesAsJpeg(MakePlanes(width, height, subsampling, luma, SceneU, SceneV), 92);
}

// A TIFF-structured EXIF block whose first directory holds one orientation entry.
inline std::vector<uint8_t> TiffWithOrientation(int orientation, bool bigEndian) {
    auto u16 = [bigEndian](std::vector<uint8_t> &out, uint16_t v) {
        if (bigEndian) {
            out.push_back(static_cast<uint8_t>(v >> 8));
            out.push_back(static_cast<uint8_t>(v));
        } else {
            out.push_back(static_cast<uint8_t>(v));
            out.push_back(static_cast<uint8_t>(v >> 8));
        }
    };
    auto u32 = [&u16, bigEndian](std::vector<uint8_t> &out, uint32_t v) {
        u16(out, static_cast<uint16_t>(bigEndian ? v >> 16 : v));
        u16(out, static_cast<uint16_t>(bigEndian ? v : v >> 16));
    };
    std::vector<uint8_t> tiff;
    tiff.push_back(bigEndian ? 'M' : 'I');
    tiff.push_back(bigEndian ? 'M' : 'I');
    u16(tiff, 42);
    u32(tiff, 8);       // first directory right after the header
    u16(tiff, 1);       // one entry
    u16(tiff, 0x0112);  // orientation
    u16(tiff, 3);       // SHORT
    u32(tiff, 1);
    u16(tiff, static_cast<uint16_t>(orientation));
    u16(tiff, 0);
    u32(tiff, 0);  // no next directory
    return tiff;
}

// Inserts an APP1 "Exif" segment holding tiff right after the start-of-image marker.
inline std::vector<uint8_t> SpliceExif(const std::vector<uint8_t> &jpeg,
                                       const std::vector<uint8_t> &tiff) {
    std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const size_t length = segment.size() - 2;
    segment[2] = static_cast<uint8_t>(length >> 8);
    segment[3] = static_cast<uint8_t>(length);
    std::vector<uint8_t> out;
    out.reserve(jpeg.size() + segment.size());
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

inline std::vector<uint8_t> WithOrientation(const std::vector<uint8_t> &jpeg, int orientation,
                                            bool bigEndian = false) {
    return SpliceExif(jpeg, TiffWithOrientation(orientation, bigEndian));
}

// A PNG of the simplified API's format (PNG_FORMAT_GRAY, _RGB, _RGBA, ...).
inline std::vector<uint8_t> EncodePng(const std::vector<uint8_t> &pixels, int width, int height,
                                      uint32_t format, const void *colormap = nullptr,
                                      int colormapEntries = 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormapEntries);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, colormap)) {
        return {};
    }
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, colormap)) {
        return {};
    }
    out.resize(size);
    return out;
}

inline void AppendChunk(std::vector<uint8_t> &out, const char type[4],
                        const std::vector<uint8_t> &data) {
    const uint32_t length = static_cast<uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(length >> shift));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(crc >> shift));
}

// Inserts a chunk after the signature and the header chunk (8 + 25 bytes).
inline std::vector<uint8_t> SpliceChunk(const std::vector<uint8_t> &png, const char type[4],
                                        const std::vector<uint8_t> &data) {
    std::vector<uint8_t> out(png.begin(), png.begin() + 33);
    AppendChunk(out, type, data);
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

inline uint8_t LumaAt(const tonefold::YuyvImage &image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.Pitch() + 2 * x];
}
inline uint8_t UAt(const tonefold::YuyvImage &image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.Pitch() + 4 * (x / 2) + 1];
}
inline uint8_t VAt(const tonefold::YuyvImage &image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.Pitch() + 4 * (x / 2) + 3];
}

inline tonefold::YuyvView ViewOf(const tonefold::YuyvImage &image) {
    return {image.pixels.get(), image.width, image.height, image.Pitch()};
}

// A packed 4:2:2 picture of the scene, padded as the decoder pads.
inline tonefold::YuyvImage MakeSceneYuyv(int width, int height) {
    tonefold::YuyvImage image;
    image.width = width;
    image.height = height;
    image.paddedWidth = (width + 3) / 4 * 4;
    image.pixels = tonefold::AllocatePixels(static_cast<size_t>(image.Pitch()) * height);
    for (int y = 0; y < height; ++y) {
        uint8_t *row = image.pixels.get() + static_cast<size_t>(y) * image.Pitch();
        for (int x = 0; x < image.paddedWidth; ++x) {
            const int sx = std::min(x, width - 1);
            row[2 * x] = SceneLuma(sx, y);
            row[2 * x + 1] = x % 2 == 0 ? SceneU(sx & ~1, y) : SceneV(sx & ~1, y);
        }
    }
    return image;
}

inline std::vector<uint8_t> Prefix(const std::vector<uint8_t> &bytes, size_t size) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
}

inline void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tonefold-merge-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string &name) const { return path_ + "/" + name; }
    const std::string &Path() const { return path_; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

// The .jpg photos of a folder in name order, read as the merge program reads them; none when
// the folder is absent. *failed names the first that could not be read, with its reason.
inline std::vector<tonefold::YuyvImage> ReadPhotoFolder(const std::filesystem::path &folder,
                                                        std::string *failed) {
    std::vector<tonefold::YuyvImage> photos;
    if (!std::filesystem::is_directory(folder)) return photos;
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".jpg") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path &file : files) {
        tonefold::YuyvImage photo;
        std::string reason;
        if (!tonefold::ReadPhotoFile(file.string(), &photo, &reason) && failed->empty())
            *failed = file.string() + ": " + reason;
        photos.push_back(std::move(photo));
    }
    return photos;
}

}  // namespace photo_support
