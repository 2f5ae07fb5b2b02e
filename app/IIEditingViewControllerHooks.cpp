// Hooks of the editing workflow that a sheet, a picture chooser, a print run or the display
// step calls back into.
#include <QFileInfo>
#include <QImage>
#include <QWidget>

#include "IIEditingViewController.h"
#include "content_types.h"

QImage IIEditingViewController::effect(const QImage &image) const { return image; }

bool IIEditingViewController::isImageItemExist(const QString &) const { return false; }

bool IIEditingViewController::isSupportImage(const QString &path) {
    const QFileInfo file(path);
    if (path.isEmpty() || file.isDir() || !file.exists()) return false;
    for (const char *type : {kContentTypeJPEG, kContentTypeTIFF, kContentTypeCameraRaw})
        if (FileConformsToContentType(path, QString::fromLatin1(type))) return true;
    return false;
}

void IIEditingViewController::editSheetDidEnd(QWidget *sheet, int) {
    if (sheet) sheet->hide();
}

void IIEditingViewController::pictureTakerDidEnd(QObject *, int) {}

void IIEditingViewController::printOperationDidRun(bool) {}
