#include "content_types.h"

#include <QMimeDatabase>
#include <QSet>

namespace {

struct ContentTypeEntry {
    const char *contentType;
    const char *mimeType;
};

constexpr ContentTypeEntry kContentTypes[] = {
    {kContentTypePNG, "image/png"},
    {kContentTypeJPEG, "image/jpeg"},
    {kContentTypeTIFF, "image/tiff"},
    {kContentTypeCameraRaw, "image/x-dcraw"},
};

}  // namespace

QString MimeTypeOfContentType(const QString &contentType) {
    for (const ContentTypeEntry &entry : kContentTypes)
        if (contentType == QLatin1String(entry.contentType))
            return QString::fromLatin1(entry.mimeType);
    return {};
}

QStringList MimeTypesOfContentType(const QString &contentType) {
    const QString base = MimeTypeOfContentType(contentType);
    if (base.isEmpty()) return {};
    QStringList names{base};
    const QMimeDatabase database;
    for (const QMimeType &type : database.allMimeTypes())
        if (type.name() != base && type.inherits(base)) names << type.name();
    return names;
}

bool FileConformsToContentType(const QString &path, const QString &contentType) {
    const QString base = MimeTypeOfContentType(contentType);
    if (base.isEmpty()) return false;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    return type.name() == base || type.inherits(base);
}

QStringList NamePatternsOfContentTypes(const QStringList &contentTypes) {
    const QMimeDatabase database;
    QStringList patterns;
    QSet<QString> seen;
    for (const QString &contentType : contentTypes) {
        for (const QString &name : MimeTypesOfContentType(contentType)) {
            for (const QString &pattern : database.mimeTypeForName(name).globPatterns()) {
                for (const QString &form : {pattern.toLower(), pattern.toUpper()}) {
                    if (seen.contains(form)) continue;
                    seen.insert(form);
                    patterns << form;
                }
            }
        }
    }
    return patterns;
}
