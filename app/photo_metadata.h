// The properties of a photo read from its header, without decoding its pixels.
#pragma once

#include <QImage>
#include <QString>
#include <QVariantMap>

// Keys of the property map. Absent properties have no key.
inline constexpr const char *kPhotoPixelWidth = "PixelWidth";    // qint64
inline constexpr const char *kPhotoPixelHeight = "PixelHeight";  // qint64
inline constexpr const char *kPhotoOrientation = "Orientation";  // int, 1..8
inline constexpr const char *kPhotoDPIWidth = "DPIWidth";        // double
inline constexpr const char *kPhotoDPIHeight = "DPIHeight";      // double
inline constexpr const char *kPhotoExif = "Exif";                // QVariantMap of the keys below
inline constexpr const char *kExifExposureBias = "ExposureBiasValue";  // double
inline constexpr const char *kExifISOSpeedRatings = "ISOSpeedRatings";  // QVariantList of qint64
inline constexpr const char *kExifFocalLength = "FocalLength";          // double

// Photos with more pixels than this, or wider or taller than this, are refused before their
// pixels are decoded; the limits of the merge program.
inline constexpr qint64 kMaxPhotoPixels = 100'000'000;
inline constexpr qint64 kMaxPhotoSide = 65535;

// Properties of a JPEG (or another format of the image reader): pixel size from the reader, the
// orientation of JPEG and PNG photos as every photo reader of this system reads it (of other
// formats from the reader), resolution from the JFIF density or else the EXIF resolution, the
// EXIF fields. Empty, with the reason, when the reader cannot read the file or the file is a
// PNG whose chunks do not fit it.
QVariantMap ReadReaderPhotoProperties(const QString &path, QString *reason);

// Decodes the photo through the image reader into RGB32, refusing a photo over the size limit
// before decoding, a JPEG whose data is corrupt or missing, a PNG with a chunk reaching past the
// end of the file or without its end chunk, and one whose decoded size differs
// from the header's. Null on failure, with the reason.
QImage DecodeReaderPhoto(const QString &path, qint64 headerWidth, qint64 headerHeight,
                         QString *reason);

// Reasons the loaders give, completed by the decoders' own messages.
inline constexpr const char *kReasonUnreadable = "not a photo in a format that can be read";
inline constexpr const char *kReasonNotAFile = "not a file that can be read";
inline constexpr const char *kReasonMissing = "does not exist";
inline constexpr const char *kReasonNoPermission = "cannot be read for lack of permission";
inline constexpr const char *kReasonTooLarge = "larger than 100 megapixels";
inline constexpr const char *kReasonTooWide = "wider or taller than 65535 pixels";
inline constexpr const char *kReasonTooManyScans =
    "cannot be decoded (it has more than 500 progressive scans)";
// The photo's data ends before its end-of-image marker, or before its last refinement.
inline constexpr const char *kReasonCutShort = "Premature end of JPEG file";
inline constexpr const char *kReasonTruncated = "is truncated (its image data ends early)";
inline constexpr const char *kReasonChanged = "changed while it was being opened";
inline constexpr const char *kReasonUndecodable = "its pixels could not be decoded";
inline constexpr const char *kReasonPngDamaged = "its PNG data is cut short or damaged";

// Why a photo of the header's size is refused before decoding; null for a size within the limits.
const char *PhotoSizeRefusal(qint64 width, qint64 height);

// Resolution in dots per inch from a JPEG's JFIF segment; false when it holds none.
bool ReadJfifDensity(const QString &path, double *dpiX, double *dpiY);
