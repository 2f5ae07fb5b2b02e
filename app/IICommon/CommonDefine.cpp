#include "CommonDefine.h"

#include <QFile>

QColor CommonDefine::backgroundColor() { return QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f); }

QColor CommonDefine::borderColor() { return QColor::fromRgbF(1 / 3.0f, 1 / 3.0f, 1 / 3.0f, 1.0f); }

QImage NamedImage(const QString &name) {
    const QString path = QStringLiteral(":/images/%1.png").arg(name);
    if (name.isEmpty() || !QFile::exists(path)) return {};
    return QImage(path);
}
