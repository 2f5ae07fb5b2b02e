// Camera raw photos through LibRaw: properties from the header and the developed picture.
#pragma once

#include <QImage>
#include <QString>
#include <QVariantMap>

// Pixel size, orientation (from the raw's flip) and the EXIF ISO and focal length of a camera
// raw; empty, with the reason, when LibRaw cannot open the file.
QVariantMap ReadRawPhotoProperties(const QString &path, QString *reason);

// Develops the raw into RGB32 with the camera's white balance, no automatic brightening (a
// bracket keeps its exposure differences), 8-bit sRGB, stored orientation. Refuses a photo over
// the size limit before unpacking, one whose size differs from the header's, and one whose raw
// data the file does not hold whole (LibRaw would develop the missing part as black). Null on
// failure, with the reason.
QImage DecodeRawPhoto(const QString &path, qint64 headerWidth, qint64 headerHeight,
                      QString *reason);
