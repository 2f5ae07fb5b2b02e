// Camera raw photos through LibRaw: properties from the header and the developed picture.
#pragma once

#include <QImage>
#include <QString>
#include <QVariantMap>

// Pixel size, orientation (from the raw's flip) and the EXIF ISO and focal length of a camera
// raw; empty when LibRaw cannot open the file.
QVariantMap ReadRawPhotoProperties(const QString &path);

// Develops the raw into RGB32 with the camera's white balance, no automatic brightening (a
// bracket keeps its exposure differences), 8-bit sRGB, stored orientation. Refuses a photo over
// the size limit before unpacking and one whose size differs from the header's. Null on failure.
QImage DecodeRawPhoto(const QString &path, qint64 headerWidth, qint64 headerHeight);
