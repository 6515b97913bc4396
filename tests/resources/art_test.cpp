// The generated pictures as the windows get them: every one present at both
// ratios and at its logical size, the key states telling apart, and the
// pictures that sit on the switch body or the panel face joining them
// without a seam.

#include "art.h"
#include "panel_cursor.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using tremlo::art::Picture;
namespace art = tremlo::art;

// The pictures are QPixmaps, which need a GUI application; the offscreen
// platform needs no screen.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "art_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QGuiApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const std::vector<Picture> kAllPictures{
    art::kSwitchBody, art::kOnA,         art::kOnB,
    art::kOnC,        art::kOffA,        art::kOffB,
    art::kPanelFace,  art::kEjectButton, art::kLedDark,
    art::kLedLit,     art::kEfctUp,      art::kEfctDown,
    art::kOptUp,      art::kOptDown,     art::kVerUp,
    art::kVerDown,    art::kPowerUp,     art::kPowerDown,
    art::kPanCentre,  art::kPanLeft,     art::kPanRight,
    art::kDoorOn,     art::kDoorOff,     art::kEnvirOn,
    art::kEnvirOff,   art::kEffectLamp,  art::kPanelFaceEnglish,
};

QString nameOf(const Picture& p) {
    return QString::fromUtf8(p.name.data(), static_cast<qsizetype>(p.name.size()));
}

QImage imageOf(const Picture& p, int ratio) {
    return art::pixmap(p, ratio).toImage().convertToFormat(QImage::Format_RGB32);
}

class EveryPicture : public ::testing::TestWithParam<Picture> {};

TEST_P(EveryPicture, IsEmbeddedAtBothRatiosAtItsLogicalSize) {
    const Picture& picture = GetParam();
    // A missing picture would still come back as a grey tile of the right
    // size, so look for the embedded files themselves.
    EXPECT_TRUE(QFile::exists(":/art/" + nameOf(picture) + ".png"));
    EXPECT_TRUE(QFile::exists(":/art/" + nameOf(picture) + "@2x.png"));

    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        const QPixmap pixmap = art::pixmap(picture, ratio);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.devicePixelRatio(), ratio);
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(picture.size));
        EXPECT_EQ(pixmap.size(), picture.size * ratio);
        // The windows' pictures are opaque, as their 24-bit originals were.
        EXPECT_FALSE(pixmap.hasAlphaChannel());
    }
}

INSTANTIATE_TEST_SUITE_P(Art, EveryPicture, ::testing::ValuesIn(kAllPictures),
                         [](const ::testing::TestParamInfo<Picture>& info) {
                             return std::string(info.param.name);
                         });

TEST(Art, InBetweenRatiosTakeTheFinerPicture) {
    const QPixmap pixmap = art::pixmap(art::kOnA, 1.5);
    EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(art::kOnA.size));
}

TEST(Art, EachKeyStateLooksDifferent) {
    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        const QImage onA = imageOf(art::kOnA, ratio);
        const QImage onB = imageOf(art::kOnB, ratio);
        const QImage onC = imageOf(art::kOnC, ratio);
        EXPECT_NE(onA, onB);
        EXPECT_NE(onA, onC);
        EXPECT_NE(onB, onC);
        EXPECT_NE(imageOf(art::kOffA, ratio), imageOf(art::kOffB, ratio));
        EXPECT_NE(imageOf(art::kLedDark, ratio), imageOf(art::kLedLit, ratio));
        EXPECT_NE(imageOf(art::kPowerUp, ratio), imageOf(art::kPowerDown, ratio));
        EXPECT_NE(imageOf(art::kPanLeft, ratio), imageOf(art::kPanRight, ratio));
    }
}

// The bounding box of the white-ish lettering on a key face, in device
// pixels; the search keeps inside the cap's edges so its bevel does not count.
QRect labelBox(const QImage& key, int ratio) {
    QRect box;
    for (int y = 4 * ratio; y < 18 * ratio; ++y) {
        for (int x = 4 * ratio; x < 18 * ratio; ++x) {
            const QRgb c = key.pixel(x, y);
            if (std::min({qRed(c), qGreen(c), qBlue(c)}) > 150)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

TEST(Art, KeyLabelMovesWithThePushedAndLatchedFace) {
    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        const QRect raised = labelBox(imageOf(art::kOnA, ratio), ratio);
        ASSERT_FALSE(raised.isEmpty());
        // Pushed fully in: one pixel down and one right; latched: one lower.
        EXPECT_EQ(labelBox(imageOf(art::kOnB, ratio), ratio),
                  raised.translated(QPoint(1, 1) * ratio));
        EXPECT_EQ(labelBox(imageOf(art::kOnC, ratio), ratio),
                  raised.translated(QPoint(0, 1) * ratio));
        const QRect offRaised = labelBox(imageOf(art::kOffA, ratio), ratio);
        ASSERT_FALSE(offRaised.isEmpty());
        EXPECT_EQ(labelBox(imageOf(art::kOffB, ratio), ratio),
                  offRaised.translated(QPoint(1, 1) * ratio));
        // OFF is the longer word; both fit on the face.
        EXPECT_GT(offRaised.width(), raised.width());
    }
}

// Summed brightness of one channel over a logical rectangle.
long long channelSum(const QImage& image, QRect logical, int ratio, int (*channel)(QRgb)) {
    long long sum = 0;
    const QRect device(logical.topLeft() * ratio, logical.size() * ratio);
    for (int y = device.top(); y <= device.bottom(); ++y)
        for (int x = device.left(); x <= device.right(); ++x)
            sum += channel(image.pixel(x, y));
    return sum;
}

TEST(Art, PanIndicatorLightsTheChosenCell) {
    // Pictures 0, 1, 2 are centre, left, right; the cells run L, C, R.
    const std::vector<std::pair<Picture, int>> cases{
        {art::kPanCentre, 1}, {art::kPanLeft, 0}, {art::kPanRight, 2}};
    for (int ratio : {1, 2}) {
        for (const auto& [picture, litCell] : cases) {
            SCOPED_TRACE(nameOf(picture).toStdString() + " at ratio " + std::to_string(ratio));
            const QImage image = imageOf(picture, ratio);
            int brightest = -1;
            long long best = -1;
            for (int cell = 0; cell < 3; ++cell) {
                const long long sum = channelSum(image, QRect(cell * 9, 0, 9, 7), ratio, qRed);
                if (sum > best) {
                    best = sum;
                    brightest = cell;
                }
            }
            EXPECT_EQ(brightest, litCell);
        }
    }
}

// How much brighter than its own background (its corner) a picture is in
// one channel, summed over its pixels.
long long glowOf(const QImage& image, int (*channel)(QRgb)) {
    const int background = channel(image.pixel(0, 0));
    long long sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += std::max(0, channel(image.pixel(x, y)) - background);
    return sum;
}

TEST(Art, LitPicturesOutshineTheirDarkTwins) {
    struct Pair {
        Picture lit, dark;
        int (*channel)(QRgb);
    };
    const std::vector<Pair> pairs{
        {art::kLedLit, art::kLedDark, qGreen},
        {art::kDoorOn, art::kDoorOff, qBlue},
        {art::kEnvirOn, art::kEnvirOff, qBlue},
    };
    for (int ratio : {1, 2}) {
        for (const Pair& pair : pairs) {
            SCOPED_TRACE(nameOf(pair.lit).toStdString() + " at ratio " + std::to_string(ratio));
            EXPECT_GT(glowOf(imageOf(pair.lit, ratio), pair.channel),
                      2 * glowOf(imageOf(pair.dark, ratio), pair.channel));
        }
    }
}

// How many device pixels of the ring `ringWidth` wide around `part` differ
// from `whole` at logical position `at`.
int seamPixels(const QImage& whole, const QImage& part, QPoint at, int ratio, int ringWidth) {
    int differing = 0;
    const QPoint origin = at * ratio;
    const int ring = ringWidth * ratio;
    for (int y = 0; y < part.height(); ++y) {
        for (int x = 0; x < part.width(); ++x) {
            const bool onRing =
                x < ring || y < ring || x >= part.width() - ring || y >= part.height() - ring;
            if (onRing && part.pixel(x, y) != whole.pixel(origin.x() + x, origin.y() + y))
                ++differing;
        }
    }
    return differing;
}

struct Mounted {
    Picture picture;
    QPoint at;
    int ringWidth; // logical pixels of the picture's edge that are the background's own
};

TEST(Art, KeysDropIntoTheBodyWithoutASeam) {
    const std::vector<Mounted> keys{
        {art::kOnA, {14, 30}, 1},  {art::kOnB, {14, 30}, 1},  {art::kOnC, {14, 30}, 1},
        {art::kOffA, {14, 59}, 1}, {art::kOffB, {14, 59}, 1},
    };
    for (int ratio : {1, 2}) {
        const QImage body = imageOf(art::kSwitchBody, ratio);
        for (const Mounted& key : keys) {
            SCOPED_TRACE(nameOf(key.picture).toStdString() + " at ratio " + std::to_string(ratio));
            EXPECT_EQ(seamPixels(body, imageOf(key.picture, ratio), key.at, ratio, key.ringWidth),
                      0);
        }
    }
}

TEST(Art, LampsAndPowerButtonSitOnTheFaceWithoutASeam) {
    const std::vector<Mounted> parts{
        {art::kLedDark, {24, 38}, 1},  {art::kLedDark, {72, 38}, 1},
        {art::kLedLit, {24, 38}, 1},   {art::kLedLit, {72, 38}, 1},
        {art::kPowerUp, {552, 10}, 1}, {art::kPowerDown, {552, 10}, 1},
    };
    for (int ratio : {1, 2}) {
        const QImage face = imageOf(art::kPanelFace, ratio);
        for (const Mounted& part : parts) {
            SCOPED_TRACE(nameOf(part.picture).toStdString() + " at x " +
                         std::to_string(part.at.x()) + ", ratio " + std::to_string(ratio));
            // Only the corners of these round parts show the face.
            const QImage picture = imageOf(part.picture, ratio);
            for (QPoint corner :
                 {QPoint(0, 0), QPoint(picture.width() - 1, 0), QPoint(0, picture.height() - 1),
                  QPoint(picture.width() - 1, picture.height() - 1)}) {
                EXPECT_EQ(picture.pixel(corner), face.pixel(part.at * ratio + corner));
            }
        }
    }
}

TEST(Art, TwinButtonsAndLampsHaveTheSameFaceUnderThem) {
    // The second small button and the second lamp show the first one's
    // picture, which was drawn on the face under the first.
    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        const QImage face = imageOf(art::kPanelFace, ratio);
        auto under = [&face, ratio](QPoint at, QSize size) {
            return face.copy(QRect(at * ratio, size * ratio));
        };
        EXPECT_EQ(under({8, 38}, art::kEjectButton.size), under({56, 38}, art::kEjectButton.size));
        EXPECT_EQ(under({24, 38}, art::kLedDark.size), under({72, 38}, art::kLedDark.size));
    }
}

TEST(Art, DisplayPicturesSitOnTheDisplaysNavy) {
    const QRgb navy = qRgb(24, 24, 41);
    for (const Picture& p : {art::kPanCentre, art::kPanLeft, art::kPanRight, art::kDoorOn,
                             art::kDoorOff, art::kEnvirOn, art::kEnvirOff, art::kEffectLamp}) {
        for (int ratio : {1, 2}) {
            SCOPED_TRACE(nameOf(p).toStdString() + " at ratio " + std::to_string(ratio));
            const QImage image = imageOf(p, ratio);
            EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1), navy);
        }
    }
}

TEST(Art, PanelCursorPointsWithTheFingerTip) {
    const QCursor cursor = art::panelCursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), art::kPanelCursorHotspot);
    EXPECT_EQ(cursor.pixmap().deviceIndependentSize(), QSizeF(art::kPanelCursorSize));

    // The hotspot must fall on the drawn hand, at both sizes of the picture.
    for (const char* file : {":/art/panel_cursor.png", ":/art/panel_cursor@2x.png"}) {
        SCOPED_TRACE(file);
        const QImage image(file);
        ASSERT_FALSE(image.isNull());
        const int ratio = image.width() / art::kPanelCursorSize.width();
        const QPoint tip = art::kPanelCursorHotspot * ratio;
        EXPECT_GT(qAlpha(image.pixel(tip)), 200);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    }
}

} // namespace
