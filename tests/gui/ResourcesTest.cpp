// The program's own resources: the siren wave, the vendor logos and icons.
#include <QFile>
#include <QPixmap>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

uint32_t Le(const QByteArray& bytes, int offset, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
    return value;
}

TEST(Resources, SirenIsAMono8BitPcmWaveOf21466Bytes) {
    QFile file(":/siren.wav");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray wave = file.readAll();
    ASSERT_EQ(wave.size(), 44 + 21466);
    EXPECT_EQ(wave.mid(0, 4), "RIFF");
    EXPECT_EQ(Le(wave, 4, 4), static_cast<uint32_t>(wave.size() - 8));
    EXPECT_EQ(wave.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le(wave, 20, 2), 1u);    // PCM
    EXPECT_EQ(Le(wave, 22, 2), 1u);    // one channel
    EXPECT_EQ(Le(wave, 24, 4), 8000u); // samples per second
    EXPECT_EQ(Le(wave, 34, 2), 8u);    // bits per sample
    EXPECT_EQ(wave.mid(36, 4), "data");
    EXPECT_EQ(Le(wave, 40, 4), 21466u);
    // A sound, not silence: the samples swing well around the middle.
    int low = 255, high = 0;
    for (int i = 44; i < wave.size(); ++i) {
        low = std::min(low, static_cast<int>(static_cast<uint8_t>(wave[i])));
        high = std::max(high, static_cast<int>(static_cast<uint8_t>(wave[i])));
    }
    EXPECT_LT(low, 64);
    EXPECT_GT(high, 192);
}

TEST(Resources, NineLogosOf121By33AndTheProgramPictures) {
    for (int i = 0; i < 9; ++i) {
        const QPixmap logo(QString(":/logos/logo%1.png").arg(i));
        EXPECT_EQ(logo.size(), QSize(121, 33)) << i;
    }
    EXPECT_EQ(QPixmap(":/quorvane-32.png").size(), QSize(32, 32));
    EXPECT_EQ(QPixmap(":/flag.png").size(), QSize(32, 16));
}

} // namespace
} // namespace quorvane
