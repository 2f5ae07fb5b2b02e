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

// The length of the UTF-8 character at text[at] when it is a well-formed one of two to four
// bytes, else 0.
size_t Utf8CharacterLength(const std::string &text, size_t at) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    if (length == 0 || text.size() - at < length) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

void AppendEscaped(unsigned char byte, std::string *shown) {
    switch (byte) {
    case '\n': *shown += "\\n"; return;
    case '\r': *shown += "\\r"; return;
    case '\t': *shown += "\\t"; return;
    default: {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        *shown += escaped;
    }
    }
}

}  // namespace

std::string PrintableText(const std::string &text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
            ++at;
            continue;
        }
        // The C1 controls (U+0080..U+009F) act on a terminal as the C0 ones do.
        const size_t length = byte >= 0x80 ? Utf8CharacterLength(text, at) : 0;
        if (length > 0 && !(byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0)) {
            shown.append(text, at, length);
            at += length;
            continue;
        }
        AppendEscaped(byte, &shown);
        ++at;
    }
    return shown;
}

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
            // Two outputs are a slip: taking either would be a guess.
            if (!options->output.empty()) {
                *message = "option -o given twice (one output)";
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

// One line of the program's own, its names shown escaped where they hold control characters.
void PrintLine(std::ostream &err, const std::string &line) {
    err << PrintableText(line) << "\n";
}

// Each line once: the same photo given twice fails twice alike.
void PrintDistinctLines(std::ostream &err, const std::vector<std::string> &lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (std::find(lines.begin(), lines.begin() + i, lines[i]) == lines.begin() + i) {
            PrintLine(err, lines[i]);
        }
    }
}

int Fail(std::ostream &err, const std::string &subject, const std::string &reason) {
    PrintLine(err, kProgram + std::string(": ") + subject + (subject.empty() ? "" : ": ") + reason);
    return kExitFailure;
}

// The checks the engine would otherwise answer with a bare code (size and equal shapes), and
// the JPEG format's limit on the merged picture, from the photos' upright sizes.
bool CheckSizes(const MergeOptions &options, PhotoFormat format,
                const std::array<UprightSize, kPhotoCount> &sizes, std::ostream &err) {
    const std::vector<std::string> &paths = options.photos;
    for (int i = 0; i < kPhotoCount; ++i) {
        if (sizes[i].width < kMinFrameSide || sizes[i].height < kMinFrameSide) {
            Fail(err, paths[i],
                 "is " + std::to_string(sizes[i].width) + "x" + std::to_string(sizes[i].height) +
                     ", smaller than the " + std::to_string(kMinFrameSide) + "x" +
                     std::to_string(kMinFrameSide) + " the merge needs");
            return false;
        }
    }
    auto sameSize = [&sizes](int a, int b) {
        return sizes[a].width == sizes[b].width && sizes[a].height == sizes[b].height;
    };
    if (!sameSize(0, 1) || !sameSize(0, 2)) {
        // The line is about the photo that differs from the other two: the first one when the
        // other two agree, else the first that differs from it.
        const int odd = sameSize(1, 2) ? 0 : sameSize(0, 1) ? 2 : 1;
        const int other = odd == 0 ? 1 : 0;
        Fail(err, paths[odd],
             "is " + std::to_string(sizes[odd].width) + "x" + std::to_string(sizes[odd].height) +
                 " upright, but " + paths[other] + " is " + std::to_string(sizes[other].width) +
                 "x" + std::to_string(sizes[other].height));
        return false;
    }
    const int32_t width = sizes[0].width;
    const int32_t height = sizes[0].height;
    if (format == PhotoFormat::kJpeg && (width > kMaxJpegSide || height > kMaxJpegSide)) {
        Fail(err, options.output,
             "a JPEG holds at most " + std::to_string(kMaxJpegSide) +
                 " pixels a side, and the merged picture would be " + std::to_string(width) +
                 "x" + std::to_string(height) + " (use .png)");
        return false;
    }
    return true;
}

// A line for each photo that could not be decoded.
bool CheckDecoded(const std::vector<std::string> &paths,
                  const std::array<LoadedPhoto, kPhotoCount> &photos, std::ostream &err) {
    std::vector<std::string> lines;
    for (int i = 0; i < kPhotoCount; ++i) {
        if (!photos[i].ok) lines.push_back(kProgram + (": " + paths[i]) + ": " + photos[i].reason);
    }
    PrintDistinctLines(err, lines);
    return lines.empty();
}

// Opens each photo and checks its header; a line for each one refused.
bool OpenPhotoFiles(const std::vector<std::string> &paths,
                    std::array<PhotoFile, kPhotoCount> *files, std::ostream &err) {
    std::vector<std::string> lines;
    for (int i = 0; i < kPhotoCount; ++i) {
        std::string reason;
        if (!(*files)[i].Open(paths[i], &reason)) {
            lines.push_back(kProgram + (": " + paths[i]) + ": " + reason);
        }
    }
    PrintDistinctLines(err, lines);
    return lines.empty();
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

void Report(std::ostream &out, const std::string &step, double ms) {
    char line[160];
    std::snprintf(line, sizeof line, "%-28s %9.1f ms\n", PrintableText(step).c_str(), ms);
    out << line;
}

double PeakMemoryMebibytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kibibytes on Linux
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

const char *FormatName(PhotoFormat format) {
    return format == PhotoFormat::kJpeg ? "JPEG" : "PNG";
}

// The output must be a regular file or a new one (a link counts as the file it leads to),
// creatable beside that file, one the user may write if it exists, and not one of the photos
// under any spelling (a link, another path): the merged picture would replace the photo. The
// file a link leads to must be named for the same format as the link, or its name would belie
// the bytes it gets. *target is the file to write.
bool CheckOutput(const std::string &output, PhotoFormat format,
                 const std::vector<std::string> &photos, std::string *target,
                 std::string *message) {
    if (!ResolveWriteTarget(output, target, message)) return false;
    // The link's own name is the one the user gave; the file it leads to is named too.
    const std::string subject = *target == output ? "" : "leads to " + *target + ", which ";
    const PhotoFormat targetFormat = PhotoFormatOfPath(*target);
    if (targetFormat == PhotoFormat::kUnknown) {
        *message = subject + "is not named .jpg, .jpeg or .png";
        return false;
    }
    if (targetFormat != format) {
        *message = subject + "is named as a " + FormatName(targetFormat) + " file, not a " +
                   FormatName(format) + " one";
        return false;
    }
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
    // Renaming over a file needs only its folder's write permission: a write-protected file is
    // refused as cp refuses it. Root may write any file, as access says.
    if (access(target->c_str(), W_OK) != 0) {
        *message = subject + "cannot be replaced: " + std::strerror(errno);
        return false;
    }
    return true;
}

int RunSteps(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    const Clock::time_point programStart = Clock::now();
    MergeOptions options;
    std::string message;
    if (!ParseMergeOptions(args, &options, &message)) {
        PrintLine(err, kProgram + (": " + message));
        err << kUsage;
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
    if (!CheckOutput(options.output, format, options.photos, &target, &message)) {
        return Fail(err, options.output, message);
    }

    Clock::time_point start = Clock::now();
    // Every header before any picture: a photo its header refuses costs no decoding.
    std::array<PhotoFile, kPhotoCount> files;
    if (!OpenPhotoFiles(options.photos, &files, err)) return kExitFailure;
    // The sizes too, where the headers tell them: photos that cannot be merged together cost
    // no decoding. The decoded pictures are checked again, as the headers may not tell.
    const std::array<UprightSize, kPhotoCount> headerSizes = {
        files[0].Upright(), files[1].Upright(), files[2].Upright()};
    if (std::all_of(headerSizes.begin(), headerSizes.end(),
                    [](const UprightSize &s) { return s.known; }) &&
        !CheckSizes(options, format, headerSizes, err)) {
        return kExitFailure;
    }
    std::array<LoadedPhoto, kPhotoCount> photos;
    DecodeInParallel(files, {true, true, true}, &photos);
    const double readMs = MillisecondsSince(start);
    if (!CheckDecoded(options.photos, photos, err)) return kExitFailure;
    std::array<UprightSize, kPhotoCount> decoded;
    for (int i = 0; i < kPhotoCount; ++i) {
        decoded[i] = {photos[i].image.width, photos[i].image.height, true};
    }
    if (!CheckSizes(options, format, decoded, err)) return kExitFailure;
    const int32_t width = photos[0].image.width;
    const int32_t height = photos[0].image.height;
    if (options.verbose) {
        for (int i = 0; i < kPhotoCount; ++i) {
            Report(out, "decode " + options.photos[i], photos[i].times.decodeMs);
            Report(out, "convert " + options.photos[i], photos[i].times.convertMs);
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
            Report(out, "merge progress " + std::to_string(percent) + "%", ms);
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
