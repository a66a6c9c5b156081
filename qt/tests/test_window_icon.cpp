// The window's icon is the image the application menu shows: each size the
// window carries is, pixel for pixel, the PNG that the package installs, and
// the 16 x 16 one is opaque (24-bit colour).
#include "testsupport/form_harness.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

QImage Installed(int size) {
    return QImage(QStringLiteral(VXT_SOURCE_DIR "/packaging/icons/vxt4710-%1.png").arg(size))
        .convertToFormat(QImage::Format_ARGB32);
}

TEST(WindowIcon, EverySizeIsTheInstalledImage) {
    FormHarness h;
    const QIcon icon = h->windowIcon();
    for (const int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        const QImage installed = Installed(size);
        ASSERT_EQ(installed.size(), QSize(size, size));
        ASSERT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage shown =
            icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(shown.size(), QSize(size, size));
        EXPECT_EQ(shown, installed);
    }
}

TEST(WindowIcon, SixteenIsOpaque) {
    const QImage installed = Installed(16);
    ASSERT_FALSE(installed.isNull());
    int transparent = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            transparent += qAlpha(installed.pixel(x, y)) != 255;
    EXPECT_EQ(transparent, 0);
}

} // namespace
