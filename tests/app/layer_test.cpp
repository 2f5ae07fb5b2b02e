// Texts by key, the error record and the content-type table.
#include <gtest/gtest.h>

#include <QDialog>

#include "content_types.h"
#include "hdr_error.h"
#include "localized_string.h"
#include "sheet.h"

namespace {

TEST(LocalizedString, KnownKeysGiveTheirTextAndMissingKeysThemselves) {
    EXPECT_EQ(LocalizedString("IDS_OK"), "OK");
    EXPECT_FALSE(LocalizedString("IDS_LOAD_FAILED").startsWith("IDS_"));
    EXPECT_EQ(LocalizedString("IDS_NOT_IN_THE_TABLE"), "IDS_NOT_IN_THE_TABLE");
    EXPECT_EQ(LocalizedString("IDS_MENU_QUIT").arg("Tonefold"), "Quit Tonefold");
    const HdrError error = MakeHdrError(1, "IDS_TOO_MANY_ERROR");
    EXPECT_EQ(error.domain, "HDR_DOMAIN");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.localizedDescription, LocalizedString("IDS_TOO_MANY_ERROR"));
}

TEST(ContentTypes, CameraRawCoversEveryMakersRawType) {
    const QStringList raw = MimeTypesOfContentType(kContentTypeCameraRaw);
    for (const char *type : {"image/x-dcraw", "image/x-canon-cr2", "image/x-nikon-nef",
                             "image/x-adobe-dng"})
        EXPECT_TRUE(raw.contains(type)) << type;
    struct Case {
        const char *file, *contentType;
        bool conforms;
    };
    const Case cases[] = {{"a.jpg", kContentTypeJPEG, true},   {"a.JPEG", kContentTypeJPEG, true},
                          {"a.cr2", kContentTypeCameraRaw, true}, {"a.png", kContentTypeJPEG, false},
                          {"a.png", kContentTypePNG, true},     {"a.tif", kContentTypeTIFF, true},
                          {"a.jpg", "public.unknown", false}};
    for (const Case &c : cases)
        EXPECT_EQ(FileConformsToContentType(c.file, c.contentType), c.conforms) << c.file;
}

TEST(BeginSheet, HandlerRunsOnceWithTheEndingCode) {
    QWidget window;
    window.show();
    QDialog dialog;
    std::vector<int> codes;
    BeginSheet(&dialog, &window, [&](int code) { codes.push_back(code); });
    EXPECT_EQ(dialog.parentWidget(), &window);
    EXPECT_TRUE(dialog.isVisible());
    dialog.done(-1);
    dialog.open();
    dialog.done(1);
    EXPECT_EQ(codes, std::vector<int>{-1});
}

}  // namespace
