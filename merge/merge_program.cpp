// The merge program: three photos in, the engine's merged picture out.
#include "merge_program.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "atomic_file.h"
#include "hdr_engine.h"
#include "photo_io.h"
#include "write_target.h"

namespace tonefold {
namespace {

constexpr char kProgram[] = "tonefold-merge";
constexpr int32_t kMinFrameSide = 96;  // the engine's smallest frame
constexpr int kPhotoCount = 3;
constexpr int32_t kOutputIndex = 2;
constexpr int32_t kMaxJpegSide = 65500;  // the JPEG format's own limit

constexpr char kUsage[] =
    "usage: tonefold-merge [-g LEVEL] [-t TONE] [-b BRIGHTNESS] [-s SATURATION] [-q QUALITY]\n"
    "                      [-v] -o OUTPUT PHOTO PHOTO PHOTO\n"
    "  Merges three JPEG or PNG exposures of one scene (in any order) into OUTPUT,\n"
    "  a .jpg, .jpeg or .png file.\n"
    "  -g LEVEL       ghost suppression, 0..10 (default 6)\n"
    "  -t TONE        tone length, 0..100 (default 45)\n"
    "  -b BRIGHTNESS  brightness, -100..100 (default 10)\n"
    "  -s SATURATION  tone saturation, 0..100 (default 40)\n"
    "  -q QUALITY     JPEG quality, 1..100 (default 92)\n"
    "  -v             print the time of each step and the peak memory\n";

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct IntOption {
    char letter;
    const char *name;
    int low;
    int high;
    int MergeOptions::*field;
};

constexpr IntOption kIntOptions[] = {
    {'g', "ghost suppression level", 0, 10, &MergeOptions::ghostLevel},
    {'t', "tone length", 0, 100, &MergeOptions::toneLength},
    {'b', "brightness", -100, 100, &MergeOptions::brightness},
    {'s', "tone saturation", 0, 100, &MergeOptions::toneSaturation},
    {'q', "JPEG quality", 1, 100, &MergeOptions::quality},
};

const IntOption *FindIntOption(char letter) {
    for (const IntOption &option : kIntOptions) {
        if (option.letter == letter) return &option;
    }
    return nullptr;
}

bool ParseWholeNumber(const std::string &text, int low, int high, int *value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

bool ParseMergeOptions(const std::vector<std::string> &args, MergeOptions *options,
                       std::string *message) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options->photos.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const char letter = arg[1];
        if (letter == 'v' || letter == 'h') {
            if (arg.size() != 2) {
                *message = "unknown option " + arg;
                return false;
            }
            (letter == 'v' ? options->verbose : options->help) = true;
            continue;
        }
        const IntOption *intOption = FindIntOption(letter);
        if (intOption == nullptr && letter != 'o') {
            *message = "unknown option " + arg;
            return false;
        }
        // The value follows attached (-t45) or as the next argument (-t 45).
        std::string value;
        if (arg.size() > 2) {
            value = arg.substr(2);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            *message = "option -" + std::string(1, letter) + " needs a value";
            return false;
        }
        if (letter == 'o') {
            if (value.empty()) {
                *message = "option -o needs a file name";
                return false;
            }
            options->output = value;
            continue;
        }
        if (!ParseWholeNumber(value, intOption->low, intOption->high,
                              &(options->*intOption->field))) {
            *message = "-" + std::string(1, letter) + " '" + value + "': the " + intOption->name +
                       " must be a whole number from " + std::to_string(intOption->low) + " to " +
                       std::to_string(intOption->high);
            return false;
        }
    }
    if (options->help) return true;
    if (options->output.empty()) {
        *message = "no output file (-o OUTPUT)";
        return false;
    }
    if (options->photos.size() != kPhotoCount) {
        *message = "needs exactly three photos, got " + std::to_string(options->photos.size());
        return false;
    }
    return true;
}

namespace {

const char *ResultName(int code) {
    switch (code) {
    case RESULT_OK: return "RESULT_OK";
    case RESULT_INVALID_ARGUMENT: return "RESULT_INVALID_ARGUMENT";
    case RESULT_UNSUPPORTED_FORMAT: return "RESULT_UNSUPPORTED_FORMAT";
    case RESULT_OUT_OF_MEMORY: return "RESULT_OUT_OF_MEMORY";
    case RESULT_EXCESSIVE_MOTION: return "RESULT_EXCESSIVE_MOTION";
    case RESULT_CANCELLED: return "RESULT_CANCELLED";
    case RESULT_ALIGNMENT_FAILED: return "RESULT_ALIGNMENT_FAILED";
    case RESULT_EXPOSURE_ORDER: return "RESULT_EXPOSURE_ORDER";
    default: return "unknown result";
    }
}

}  // namespace

namespace {

// Decodes the files marked open on one thread each; a thread that cannot start leaves its
// photo to the calling thread.
void DecodeInParallel(const std::array<PhotoFile, kPhotoCount> &files,
                      const std::array<bool, kPhotoCount> &open,
                      std::array<LoadedPhoto, kPhotoCount> *photos) {
    auto decode = [&files, photos](int i) {
        LoadedPhoto &photo = (*photos)[i];
        photo.ok = files[i].Decode(&photo.image, &photo.reason, &photo.times);
    };
    std::array<std::thread, kPhotoCount> workers;
    for (int i = 0; i < kPhotoCount; ++i) {
        if (!open[i]) continue;
        try {
            workers[i] = std::thread(decode, i);
        } catch (const std::system_error &) {
            decode(i);
        }
    }
    for (std::thread &worker : workers) {
        if (worker.joinable()) worker.join();
    }
}

}  // namespace

std::array<LoadedPhoto, kPhotoCount> ReadPhotosInParallel(const std::vector<std::string> &paths) {
    std::array<LoadedPhoto, kPhotoCount> photos;
    std::array<PhotoFile, kPhotoCount> files;
    std::array<bool, kPhotoCount> open{};
    for (int i = 0; i < kPhotoCount; ++i) open[i] = files[i].Open(paths[i], &photos[i].reason);
    DecodeInParallel(files, open, &photos);
    return photos;
}

namespace {

// The checks the engine would otherwise answer with a bare code: size and equal shapes.
bool CheckPhotoSet(const std::vector<std::string> &paths,
                   const std::array<LoadedPhoto, kPhotoCount> &photos, std::ostream &err) {
    bool ok = true;
    for (int i = 0; i < kPhotoCount; ++i) {
        if (!photos[i].ok) {
            err << kProgram << ": " << paths[i] << ": " << photos[i].reason << "\n";
            ok = false;
        }
    }
    if (!ok) return false;
    for (int i = 0; i < kPhotoCount; ++i) {
        const YuyvImage &image = photos[i].image;
        if (image.width < kMinFrameSide || image.height < kMinFrameSide) {
            err << kProgram << ": " << paths[i] << ": is " << image.width << "x" << image.height
                << ", smaller than the " << kMinFrameSide << "x" << kMinFrameSide
                << " the merge needs\n";
            return false;
        }
    }
    auto sameSize = [&photos](int a, int b) {
        return photos[a].image.width == photos[b].image.width &&
               photos[a].image.height == photos[b].image.height;
    };
    if (sameSize(0, 1) && sameSize(0, 2)) return true;
    // The line is about the photo that differs from the other two: the first one when the
    // other two agree, else the first that differs from it.
    const int odd = sameSize(1, 2) ? 0 : sameSize(0, 1) ? 2 : 1;
    const int other = odd == 0 ? 1 : 0;
    const YuyvImage &image = photos[odd].image;
    const YuyvImage &reference = photos[other].image;
    err << kProgram << ": " << paths[odd] << ": is " << image.width << "x" << image.height
        << " upright, but " << paths[other] << " is " << reference.width << "x"
        << reference.height << "\n";
    return false;
}

// Opens each photo and checks its header; a line for each one refused.
bool OpenPhotoFiles(const std::vector<std::string> &paths,
                    std::array<PhotoFile, kPhotoCount> *files, std::ostream &err) {
    bool ok = true;
    for (int i = 0; i < kPhotoCount; ++i) {
        std::string reason;
        if (!(*files)[i].Open(paths[i], &reason)) {
            err << kProgram << ": " << paths[i] << ": " << reason << "\n";
            ok = false;
        }
    }
    return ok;
}

__tag_QELV_OFFSCREEN RecordOf(YuyvImage &image) {
    __tag_QELV_OFFSCREEN record{};
    record.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
    record.i32Width = image.paddedWidth;
    record.i32Height = image.height;
    record.ppu8Plane[0] = image.pixels.get();
    record.pi32Pitch[0] = image.Pitch();
    return record;
}

// The packed rows compared byte by byte: an order of the pictures alone. Same-size pictures.
bool PictureComesBefore(const YuyvImage &a, const YuyvImage &b) {
    const size_t bytes = static_cast<size_t>(a.Pitch()) * static_cast<size_t>(a.height);
    return std::memcmp(a.pixels.get(), b.pixels.get(), bytes) < 0;
}

// The engine settles exposures it measures as equal by their place in its list. Listed in an
// order of their pictures, not of the command line, the same photos give the same merge in any
// order.
std::array<__tag_QELV_OFFSCREEN, kPhotoCount> RecordsInPictureOrder(
    std::array<LoadedPhoto, kPhotoCount> *photos) {
    std::array<YuyvImage *, kPhotoCount> images;
    for (int i = 0; i < kPhotoCount; ++i) images[i] = &(*photos)[i].image;
    std::sort(images.begin(), images.end(), [](const YuyvImage *a, const YuyvImage *b) {
        return PictureComesBefore(*a, *b);
    });
    std::array<__tag_QELV_OFFSCREEN, kPhotoCount> records;
    for (int i = 0; i < kPhotoCount; ++i) records[i] = RecordOf(*images[i]);
    return records;
}

struct ProgressLog {
    std::mutex mutex;
    Clock::time_point start;
    std::vector<std::pair<int64_t, double>> reports;  // percent, milliseconds since start
};

int64_t RecordProgress(int64_t percent, int64_t, void *user) {
    auto *log = static_cast<ProgressLog *>(user);
    const double ms = MillisecondsSince(log->start);
    std::lock_guard<std::mutex> lock(log->mutex);
    log->reports.emplace_back(percent, ms);
    return 0;
}

// Runs the engine on the three records; the merged picture lands in records[2].
int Merge(const MergeOptions &options, std::array<__tag_QELV_OFFSCREEN, kPhotoCount> *records,
          ProgressLog *log) {
    HdrSession *session = nullptr;
    int result = CreateHdrSession(nullptr, 0, &session);
    if (result != RESULT_OK) return result;
    SetGhostSuppressionLevel(0, session, options.ghostLevel);
    const MergeParams params{options.toneLength, options.brightness, options.toneSaturation};
    log->start = Clock::now();
    result = RunHdrMerge(nullptr, session, records->data(), kPhotoCount, records->data(),
                         kOutputIndex, &params, 0, RecordProgress, log);
    DestroyHdrSession(nullptr, session);
    return result;
}

void Report(std::ostream &out, const char *step, double ms) {
    char line[160];
    std::snprintf(line, sizeof line, "%-28s %9.1f ms\n", step, ms);
    out << line;
}

double PeakMemoryMebibytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kibibytes on Linux
}

int Fail(std::ostream &err, const std::string &subject, const std::string &reason) {
    err << kProgram << ": " << subject << (subject.empty() ? "" : ": ") << reason << "\n";
    return kExitFailure;
}

void ReportPeakMemory(std::ostream &out) {
    char line[96];
    std::snprintf(line, sizeof line, "%-28s %9.1f MiB\n", "peak memory", PeakMemoryMebibytes());
    out << line;
}

std::string FolderOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The output must be a regular file or a new one (a link counts as the file it leads to),
// creatable beside that file, and not one of the photos under any spelling (a link, another
// path): the merged picture would replace the photo. *target is the file to write.
bool CheckOutput(const std::string &output, const std::vector<std::string> &photos,
                 std::string *target, std::string *message) {
    if (!ResolveWriteTarget(output, target, message)) return false;
    const std::string folder = FolderOf(*target);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || access(folder.c_str(), W_OK | X_OK) != 0) {
        *message = std::string("cannot be written: ") + std::strerror(errno);
        return false;
    }
    if (stat(target->c_str(), &info) != 0) return true;  // a new file
    for (const std::string &photo : photos) {
        struct stat photoInfo {};
        if (stat(photo.c_str(), &photoInfo) == 0 && photoInfo.st_dev == info.st_dev &&
            photoInfo.st_ino == info.st_ino) {
            *message = "is the same file as the photo " + photo +
                       ", which the merge would replace (choose another output)";
            return false;
        }
    }
    return true;
}

int RunSteps(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    const Clock::time_point programStart = Clock::now();
    MergeOptions options;
    std::string message;
    if (!ParseMergeOptions(args, &options, &message)) {
        err << kProgram << ": " << message << "\n" << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        out << kUsage;
        return kExitOk;
    }
    const PhotoFormat format = PhotoFormatOfPath(options.output);
    if (format == PhotoFormat::kUnknown) {
        return Fail(err, options.output, "unknown output extension (use .jpg, .jpeg or .png)");
    }
    // Checked first, so an output that cannot be written is reported before the long work;
    // the file itself is made only once the picture is ready.
    std::string target;
    if (!CheckOutput(options.output, options.photos, &target, &message)) {
        return Fail(err, options.output, message);
    }

    Clock::time_point start = Clock::now();
    // Every header before any picture: a photo its header refuses costs no decoding.
    std::array<PhotoFile, kPhotoCount> files;
    if (!OpenPhotoFiles(options.photos, &files, err)) return kExitFailure;
    std::array<LoadedPhoto, kPhotoCount> photos;
    DecodeInParallel(files, {true, true, true}, &photos);
    const double readMs = MillisecondsSince(start);
    if (!CheckPhotoSet(options.photos, photos, err)) return kExitFailure;
    const int32_t width = photos[0].image.width;
    const int32_t height = photos[0].image.height;
    if (format == PhotoFormat::kJpeg && (width > kMaxJpegSide || height > kMaxJpegSide)) {
        return Fail(err, options.output,
                    "a JPEG holds at most " + std::to_string(kMaxJpegSide) +
                        " pixels a side, and the merged picture would be " +
                        std::to_string(width) + "x" + std::to_string(height) +
                        " (use .png)");
    }
    if (options.verbose) {
        for (int i = 0; i < kPhotoCount; ++i) {
            Report(out, ("decode " + options.photos[i]).c_str(), photos[i].times.decodeMs);
            Report(out, ("convert " + options.photos[i]).c_str(), photos[i].times.convertMs);
        }
        Report(out, "read (three in parallel)", readMs);
    }

    std::array<__tag_QELV_OFFSCREEN, kPhotoCount> records = RecordsInPictureOrder(&photos);
    ProgressLog log;
    start = Clock::now();
    const int result = Merge(options, &records, &log);
    const double mergeMs = MillisecondsSince(start);
    if (options.verbose) {
        // The engine may report a step more than once: one line per step, when it began.
        int64_t shown = -1;
        for (const auto &[percent, ms] : log.reports) {
            if (percent == shown) continue;
            shown = percent;
            Report(out, ("merge progress " + std::to_string(percent) + "%").c_str(), ms);
        }
        Report(out, "merge", mergeMs);
    }
    if (result != RESULT_OK) {
        if (options.verbose) ReportPeakMemory(out);
        return Fail(err, "",
                    "merge failed: " + std::string(ResultName(result)) + " (" +
                        std::to_string(result) + ")");
    }
    const __tag_QELV_OFFSCREEN &merged = records[kOutputIndex];
    if (merged.u32PixelArrayFormat != PIXEL_FORMAT_YUYV || merged.ppu8Plane[0] == nullptr ||
        merged.i32Width < width || merged.i32Height != height ||
        merged.pi32Pitch[0] < 2 * ((width + 1) & ~1)) {
        return Fail(err, "", "merge returned a picture of another shape");
    }
    // The padding columns are dropped: the picture keeps the photos' upright width.
    const YuyvView picture{merged.ppu8Plane[0], width, height, merged.pi32Pitch[0]};
    std::vector<uint8_t> encoded;
    EncodeTimes encodeTimes;
    const bool encodedOk =
        format == PhotoFormat::kJpeg
            ? EncodeJpeg(picture, options.quality, &encoded, &message, &encodeTimes)
            : EncodePng(picture, &encoded, &message, &encodeTimes);
    if (!encodedOk) return Fail(err, options.output, message);
    start = Clock::now();
    AtomicFile output;
    if (!output.Open(target, &message) ||
        !output.Write(encoded.data(), encoded.size(), &message) || !output.Commit(&message)) {
        return Fail(err, options.output, "cannot be written: " + message);
    }
    if (options.verbose) {
        Report(out, "convert", encodeTimes.convertMs);
        Report(out, "encode", encodeTimes.encodeMs);
        Report(out, "write", MillisecondsSince(start));
        Report(out, "total", MillisecondsSince(programStart));
        ReportPeakMemory(out);
    }
    return kExitOk;
}

}  // namespace

int RunMergeProgram(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    try {
        return RunSteps(args, out, err);
    } catch (const std::bad_alloc &) {
        return Fail(err, "", "out of memory");
    }
}

}  // namespace tonefold
