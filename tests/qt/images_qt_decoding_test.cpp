#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <array>
#include <vector>

#include "platform/qt/QtDesktopServices.h"

namespace corvix {
namespace {

/// Red above, a blue gradient below: a flip or a blank result shows in the top row.
QImage sample(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const QRgb c = y < h / 4 ? qRgb(230, 20, 30) : qRgb(0, 40, 120 + 100 * y / h);
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, c);
        }
    }
    return image;
}

std::vector<std::uint8_t> encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return {bytes.begin(), bytes.end()};
}

std::array<int, 3> rgbAt(const BitmapRep& rep, int x, int y) {
    const std::size_t i = (std::size_t(y) * rep.pixelsWide + x) * 4;
    return {rep.pixels[i], rep.pixels[i + 1], rep.pixels[i + 2]};
}

void expectNear(std::array<int, 3> actual, std::array<int, 3> expected, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "channel " << i;
    }
}

TEST(QtImageDecodingTest, ScaledDecodingGivesTheReducedPictureUpright) {
    QtImageService images;
    for (const char* format : {"PNG", "JPEG"}) {
        SCOPED_TRACE(format);
        const auto data = encoded(sample(1000, 500), format);
        for (ImagePtr image :
             {images.decodeReduced(data, 128), images.ImageService::decodeReduced(data, 128)}) {
            ASSERT_TRUE(image);
            ASSERT_EQ(image->bitmaps().size(), 1u);
            const BitmapRep& rep = image->bitmaps()[0];
            EXPECT_EQ(rep.pixelsWide, 128);
            EXPECT_EQ(rep.pixelsHigh, 64);
            EXPECT_EQ(image->size(), (Size{128, 64}));
            ASSERT_EQ(rep.pixels.size(), 128u * 64 * 4);
            expectNear(rgbAt(rep, 64, 0), {230, 20, 30}, 12);
            expectNear(rgbAt(rep, 64, 63), {0, 40, 219}, 12);
        }
    }
    // Small pictures keep their size.
    ImagePtr small = images.decodeReduced(encoded(sample(100, 40), "PNG"), 128);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->bitmaps()[0].pixelsWide, 100);
    EXPECT_EQ(small->bitmaps()[0].pixelsHigh, 40);
    EXPECT_FALSE(images.decodeReduced({'<', 'h', '1', '>'}, 128));
}

TEST(QtImageDecodingTest, PicturesClaimingMoreThanTheAllocationLimitAreRefused) {
    QtImageService images;
    const auto data = encoded(sample(1000, 1000), "PNG");  // about 4 MiB decoded
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(2);
    ImagePtr refused = images.decodeReduced(data, 128);
    QImageReader::setAllocationLimit(limit);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(images.decodeReduced(data, 128));

    // A header alone claiming 30000 x 30000 pixels.
    QImage tiny = sample(2, 2);
    auto header = encoded(tiny, "PNG");
    // Patch the IHDR size (bytes 16..23) and its CRC (29..32) to claim 30000 x 30000.
    const std::uint8_t claimed[] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};
    std::copy(std::begin(claimed), std::end(claimed), header.begin() + 16);
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 12; i < 29; ++i) {
        crc ^= header[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    crc ^= 0xffffffffu;
    for (int k = 0; k < 4; ++k) {
        header[29 + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
    }
    QBuffer probe;
    probe.setData(QByteArray(reinterpret_cast<const char*>(header.data()), header.size()));
    EXPECT_EQ(QImageReader(&probe).size(), QSize(30000, 30000));
    EXPECT_FALSE(images.decodeReduced(header, 128));
}

}  // namespace
}  // namespace corvix
