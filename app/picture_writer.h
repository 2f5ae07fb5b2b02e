// Writing the picture to a file: PNG through our own zlib writer, JPEG through Qt's image writer,
// TIFF through libtiff with its compressed strips encoded on several threads.
// Every file is written to a temporary file beside the target and renamed over it only when the
// whole picture has been written, so a failed save never destroys the file it would replace.
#pragma once

#include <QImage>
#include <QSaveFile>
#include <QString>
#include <functional>
#include <memory>

#include "IISaveViewController.h"

// The resolution every saved picture states, in dots per inch and in dots per metre.
constexpr double kSavedPictureDPI = 72.0;
constexpr int kSavedPictureDotsPerMeter = 2835;
// The resolution of the two-picture TIFF.
constexpr double kTIFFPairDPI = 300.0;
// The zlib level of saved PNGs: fast enough for a 12 MP picture in well under a second, and
// within a few percent of the size of the slow default level on photographs.
constexpr int kPNGCompressionLevel = 1;

// The picture copied into a new 32-bit bitmap of its own, alpha premultiplied and last in memory,
// rows of 4 x width bytes; a picture without alpha gives an opaque bitmap without an alpha
// channel. Null for a null picture or when the bitmap cannot be made.
QImage ResultImage(const QImage &picture);

// Why a save of the type to path must not go ahead, as a line for the user, or empty: an
// existing file the user may not write, or a symbolic link whose file (at the end of its chain,
// existing or not) is not named with one of the type's extensions, which would get bytes its
// name belies. Checked before anything is written; the file stays as it was.
QString SaveTargetProblem(const QString &path, const QString &uti);

// Writes the picture as "public.png", "public.jpeg" or "public.tiff" with its pixel size, 72 dpi
// and the options (JPEG quality, TIFF compression). False, leaving any existing file as it was,
// when the picture is null, the type unknown, SaveTargetProblem names a problem or the file
// cannot be written and committed. A replaced file keeps its permissions, and its owner and
// group where the process may set them.
bool WritePicture(const QImage &picture, const QString &path, const QString &uti,
                  const IISaveOptions &options);
// Writes a TIFF of one directory, or two when second is not null, each at the given resolution
// with its own pixel size, no alpha and orientation 1, compressed as the options say.
bool WriteTIFF(const QImage &picture, const QImage *second, const QString &path,
               const IISaveOptions &options, double dpi);

// The file every writer writes through; tests replace it to make writes fail. An empty factory
// restores the plain QSaveFile.
using SaveFileFactory = std::function<std::unique_ptr<QSaveFile>(const QString &path)>;
void SetSaveFileFactory(SaveFileFactory factory);
