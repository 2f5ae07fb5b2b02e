// The application's photo loader on arbitrary file bytes: properties, decoding (JPEG in bands or
// through the image reader, PNG, camera raw) and the upright drawing into an image record. The
// first byte picks the file's name, by which the loader picks its decoder; the rest is the file.
#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CBImageSource.h"

namespace {

// A folder of this process's own for the file under test, removed at exit (kept until then:
// the exit handler that removes it runs after static objects are gone).
const std::string &Folder() {
    static const std::string *folder = [] {
        const char *base = std::getenv("TMPDIR");
        auto *pattern =
            new std::string(std::string(base && *base ? base : "/tmp") + "/photo-load-XXXXXX");
        if (!mkdtemp(pattern->data())) std::abort();
        return pattern;
    }();
    return *folder;
}

const char *const kNames[] = {"photo.jpg", "photo.png", "photo.dng"};

void RemoveFolder() {
    for (const char *name : kNames) std::remove((Folder() + "/" + name).c_str());
    std::remove(Folder().c_str());
}

// The image reader finds its format plugins through the application object.
void StartQt() {
    static int argc = 1;
    static char name[] = "photo_load_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application = new QCoreApplication(argc, argv);
    (void)application;
    static const bool registered = std::atexit(RemoveFolder) == 0;
    (void)registered;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    StartQt();
    const QString path =
        QString::fromStdString(Folder() + "/" + kNames[data[0] % (sizeof kNames / sizeof *kNames)]);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char *>(data + 1), static_cast<qint64>(size - 1));
    }
    CBImageSource source;
    if (!source.initWithPhoto(path) || !source.open()) {
        // Every refusal says why.
        if (source.failureReason().isEmpty()) __builtin_trap();
        return 0;
    }
    // The record the engine bridge makes for it: the upright size, the width rounded up to 4.
    const int orientation = source.orientation();
    const QSizeF upright = source.imageSize(orientation);
    const int width = (static_cast<int>(upright.width()) + 3) / 4 * 4;
    const int height = static_cast<int>(upright.height());
    std::vector<uint8_t> plane(static_cast<size_t>(width) * 2 * height);
    __tag_QELV_OFFSCREEN record{};
    record.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
    record.i32Width = width;
    record.i32Height = height;
    record.ppu8Plane[0] = plane.data();
    record.pi32Pitch[0] = 2 * width;
    if (!source.image(orientation, &record)) __builtin_trap();
    return 0;
}
