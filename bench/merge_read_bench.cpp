// The merge program's reading step on a 12-megapixel 4:2:0 JPEG: file to padded 4:2:2 rows,
// one photo alone (upright, or turned by an EXIF orientation) and three at once as the program
// reads them. Counters give the decode and the packing ("convert") time of the last photo read.
#include <benchmark/benchmark.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "merge_program.h"
#include "photo_io.h"

namespace {

constexpr int kWidth = 4032, kHeight = 3024;

// A smooth scene with fine noise, so the file has a camera-like amount of detail.
std::vector<uint8_t> SceneJpeg() {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t random = 5;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            random = random * 1664525u + 1013904223u;
            const int noise = static_cast<int>(random >> 27);
            uint8_t *pixel = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
            pixel[0] = static_cast<uint8_t>((x * 255 / kWidth + noise) & 0xFF);
            pixel[1] = static_cast<uint8_t>((y * 255 / kHeight + noise) & 0xFF);
            pixel[2] = static_cast<uint8_t>(((x + y) * 127 / (kWidth + kHeight) + noise) & 0xFF);
        }
    }
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size, TJSAMP_420, 92, 0);
    std::vector<uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

const std::vector<std::string> &PhotoPaths() {
    static const std::vector<std::string> paths = [] {
        const std::vector<uint8_t> bytes = SceneJpeg();
        std::vector<std::string> written;
        const std::filesystem::path folder = std::filesystem::temp_directory_path();
        for (int i = 0; i < 3; ++i) {
            const std::string name = "tonefold-read-bench-" + std::to_string(i) + ".jpg";
            written.push_back((folder / name).string());
            std::FILE *file = std::fopen(written.back().c_str(), "wb");
            if (file != nullptr) {
                std::fwrite(bytes.data(), 1, bytes.size(), file);
                std::fclose(file);
            }
        }
        return written;
    }();
    return paths;
}

// The photo with an APP1 Exif block holding one orientation entry after its start marker.
std::vector<uint8_t> WithOrientation(const std::vector<uint8_t> &jpeg, int orientation) {
    const uint8_t tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
                            static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 2 + 6 + sizeof tiff, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), std::begin(tiff), std::end(tiff));
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// The scene stored turned by each orientation, written once.
const std::string &TurnedPhotoPath(int orientation) {
    static std::string paths[9];
    std::string &path = paths[orientation];
    if (path.empty()) {
        const std::vector<uint8_t> bytes = WithOrientation(SceneJpeg(), orientation);
        path = (std::filesystem::temp_directory_path() /
                ("tonefold-read-bench-turned-" + std::to_string(orientation) + ".jpg"))
                   .string();
        std::FILE *file = std::fopen(path.c_str(), "wb");
        if (file != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
    }
    return path;
}

void ReadOnePhoto(benchmark::State &state, const std::string &path) {
    tonefold::PhotoTimes times;
    for (auto _ : state) {
        tonefold::YuyvImage image;
        std::string reason;
        if (!tonefold::ReadPhotoFile(path, &image, &reason, &times)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(image.pixels.get());
    }
    state.counters["decode_ms"] = times.decodeMs;
    state.counters["convert_ms"] = times.convertMs;
}

void BM_ReadPhoto12MP(benchmark::State &state) { ReadOnePhoto(state, PhotoPaths()[0]); }
BENCHMARK(BM_ReadPhoto12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: the EXIF orientation (3 a half turn, 6 and 8 quarter turns, 5 a transpose).
void BM_ReadTurnedPhoto12MP(benchmark::State &state) {
    ReadOnePhoto(state, TurnedPhotoPath(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ReadTurnedPhoto12MP)
    ->Arg(3)
    ->Arg(5)
    ->Arg(6)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReadThreePhotos12MPInParallel(benchmark::State &state) {
    double slowestDecode = 0, slowestConvert = 0;
    for (auto _ : state) {
        const auto photos = tonefold::ReadPhotosInParallel(PhotoPaths());
        slowestDecode = slowestConvert = 0;
        for (const tonefold::LoadedPhoto &photo : photos) {
            if (!photo.ok) {
                state.SkipWithError(photo.reason.c_str());
                return;
            }
            slowestDecode = std::max(slowestDecode, photo.times.decodeMs);
            slowestConvert = std::max(slowestConvert, photo.times.convertMs);
        }
        benchmark::DoNotOptimize(photos[0].image.pixels.get());
    }
    state.counters["slowest_decode_ms"] = slowestDecode;
    state.counters["slowest_convert_ms"] = slowestConvert;
}
BENCHMARK(BM_ReadThreePhotos12MPInParallel)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
