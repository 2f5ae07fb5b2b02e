// Content types named as the application names them, mapped onto the desktop's MIME types.
#pragma once

#include <QString>
#include <QStringList>

inline constexpr const char *kContentTypePNG = "public.png";
inline constexpr const char *kContentTypeJPEG = "public.jpeg";
inline constexpr const char *kContentTypeTIFF = "public.tiff";
inline constexpr const char *kContentTypeCameraRaw = "public.camera-raw-image";

// The MIME type a content type stands for, empty for an unknown one.
QString MimeTypeOfContentType(const QString &contentType);

// The MIME type and every type of the MIME database that inherits it (for camera raw, every
// maker's raw type).
QStringList MimeTypesOfContentType(const QString &contentType);

// Whether the file's MIME type (by name, then content) is, or inherits, the content type's.
bool FileConformsToContentType(const QString &path, const QString &contentType);

// File name patterns of the content types, in lower and upper case, for an open panel.
QStringList NamePatternsOfContentTypes(const QStringList &contentTypes);
