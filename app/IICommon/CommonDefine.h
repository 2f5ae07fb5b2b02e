// The application's common colours and its named images.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

class CommonDefine {
public:
    // White 0.2: the background behind the picture and the controls.
    static QColor backgroundColor();
    // Dark grey (white 1/3).
    static QColor borderColor();
};

// The image of that name among the application's images (":/images/<name>.png"); a null image
// when there is none.
QImage NamedImage(const QString &name);
