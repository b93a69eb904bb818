// The bitmap reader: an uncompressed 24-bit bitmap is read from its bytes and
// must come out exactly as Qt's own reader decodes it; every other file is
// left to Qt's reader.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

#include "qt/control_widgets.h"
#include "window/form_layout.h"

namespace {

void putLittleEndian(QByteArray& bytes, int at, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

QColor pixelColour(int x, int y) {
    return QColor((x * 40 + 7) % 256, (y * 90 + 11) % 256, (x * y * 30 + 3) % 256);
}

// A bitmap of width x |height| pixels with known colours (24 or 32 bits a
// pixel); rows stored bottom-up for a positive height, top-down for a
// negative one.
QByteArray makeBitmap(int width, int height, int bitsPerPixel = 24, std::uint32_t compression = 0) {
    const int rows = height < 0 ? -height : height;
    const int bytesPerPixel = bitsPerPixel / 8;
    const int stride = (width * bytesPerPixel + 3) / 4 * 4;
    QByteArray bytes(54 + stride * rows, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLittleEndian(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
    putLittleEndian(bytes, 10, 54, 4);
    putLittleEndian(bytes, 14, 40, 4);
    putLittleEndian(bytes, 18, static_cast<std::uint32_t>(width), 4);
    putLittleEndian(bytes, 22, static_cast<std::uint32_t>(height), 4);
    putLittleEndian(bytes, 26, 1, 2);
    putLittleEndian(bytes, 28, static_cast<std::uint32_t>(bitsPerPixel), 2);
    putLittleEndian(bytes, 30, compression, 4);
    for (int y = 0; y < rows; ++y) {
        const int stored = height < 0 ? y : rows - 1 - y;
        for (int x = 0; x < width; ++x) {
            const QColor c = pixelColour(x, y);
            const int at = 54 + stored * stride + x * bytesPerPixel;
            bytes[at] = static_cast<char>(c.blue());
            bytes[at + 1] = static_cast<char>(c.green());
            bytes[at + 2] = static_cast<char>(c.red());
        }
    }
    return bytes;
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

bool samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return false;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            if (x.pixel(col, row) != y.pixel(col, row)) {
                return false;
            }
        }
    }
    return true;
}

TEST(Bitmap, PlainBitmapsReadToTheirPixelsInEitherRowOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        int width;
        int height;
    };
    // Widths 1, 2 and 3 need row padding; 4 needs none. Negative heights are
    // stored top-down.
    const std::vector<Case> cases = {{"1x1.bmp", 1, 1},  {"2x3.bmp", 2, 3},   {"3x2.bmp", 3, 2},
                                     {"4x4.bmp", 4, 4},  {"5x-3.bmp", 5, -3}, {"17x9.bmp", 17, 9},
                                     {"1x-1.bmp", 1, -1}};
    for (const Case& c : cases) {
        const QString path = writeFile(dir, c.name, makeBitmap(c.width, c.height));
        const QImage image = LoadBitmap(path);
        const int rows = c.height < 0 ? -c.height : c.height;
        ASSERT_EQ(image.size(), QSize(c.width, rows)) << c.name;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < c.width; ++x) {
                EXPECT_EQ(image.pixelColor(x, y), pixelColour(x, y))
                    << c.name << " " << x << "," << y;
            }
        }
        EXPECT_TRUE(samePixels(image, QImage(path))) << c.name << ": Qt's reader disagrees";
    }
}

TEST(Bitmap, TheLogoReadsAsQtReadsIt) {
    const QString logo = QString::fromLatin1(kLogoResource);
    const QImage ours = LoadBitmap(logo);
    EXPECT_EQ(ours.size(), QSize(847, 275));
    EXPECT_TRUE(samePixels(ours, QImage(logo)));
}

TEST(Bitmap, OtherFilesAreLeftToQtsReader) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray truncated = makeBitmap(8, 8);
    truncated.chop(30);
    QByteArray hugeWidth = makeBitmap(2, 2);
    putLittleEndian(hugeWidth, 18, 0x7FFFFFFF, 4);
    QByteArray offsetPastEnd = makeBitmap(2, 2);
    putLittleEndian(offsetPastEnd, 10, 0xFFFFFFF0u, 4);
    QImage png(3, 2, QImage::Format_RGB32);
    png.fill(Qt::red);
    const QString pngPath = dir.filePath(QStringLiteral("red.png"));
    ASSERT_TRUE(png.save(pngPath));
    struct File {
        const char* name;
        QByteArray bytes;
        bool samePixels;  // Qt's reader leaves the missing rows of a cut file undefined
    };
    const std::vector<File> files = {
        {"truncated.bmp", truncated, false},
        {"zero-height.bmp", makeBitmap(4, 0), true},
        {"32-bit.bmp", makeBitmap(4, 4, 32), true},
        {"run-length.bmp", makeBitmap(4, 4, 24, 1), true},
        {"huge-width.bmp", hugeWidth, true},
        {"offset-past-end.bmp", offsetPastEnd, true},
        {"short.bmp", QByteArray("BM\x10\x00", 4), true},
        {"empty.bmp", QByteArray(), true},
    };
    for (const File& f : files) {
        const QString path = writeFile(dir, f.name, f.bytes);
        const QImage ours = LoadBitmap(path);
        const QImage qts(path);
        EXPECT_EQ(ours.isNull(), qts.isNull()) << f.name;
        EXPECT_EQ(ours.size(), qts.size()) << f.name;
        if (f.samePixels) {
            EXPECT_TRUE(samePixels(ours, qts)) << f.name;
        }
    }
    // A 32-bit bitmap is Qt's to read, and it reads it.
    EXPECT_EQ(LoadBitmap(writeFile(dir, "32-bit.bmp", makeBitmap(4, 4, 32))).pixelColor(2, 3),
              pixelColour(2, 3));
    EXPECT_TRUE(samePixels(LoadBitmap(pngPath), png));
    EXPECT_TRUE(LoadBitmap(dir.filePath(QStringLiteral("missing.bmp"))).isNull());
}

}  // namespace
