#include "demo.h"

#include <gtest/gtest.h>

namespace {

struct LetterboxCase {
    std::uint32_t w, h;
    demo::Viewport expected;
};

TEST(Letterbox, DesktopSizesAndTruncation) {
    const LetterboxCase cases[] = {
        {1920, 1080, {0, 0, 1920, 1080}},
        {1920, 1200, {0, 60, 1920, 1080}},
        {2560, 1600, {0, 80, 2560, 1440}},
        {1280, 1024, {0, 152, 1280, 720}},
        {3440, 1440, {440, 0, 2560, 1440}},
        // (9 × 1366) >> 4 = 768 is not greater than 768: no bars at all.
        {1366, 768, {0, 0, 1366, 768}},
        {1360, 768, {0, 1, 1360, 765}},
        {640, 480, {0, 60, 640, 360}},
        {1, 1, {0, 0, 1, 0}},
    };
    for (const LetterboxCase& c : cases) {
        const demo::Viewport v = demo::letterbox(c.w, c.h);
        EXPECT_TRUE(v == c.expected) << c.w << "x" << c.h << " gave (" << v.x << ", " << v.y << ", "
                                     << v.width << ", " << v.height << ")";
    }
}

TEST(Letterbox, AlwaysFitsAndIsCentred) {
    for (std::uint32_t w = 16; w <= 4096; w += 97) {
        for (std::uint32_t h = 9; h <= 2400; h += 89) {
            const demo::Viewport v = demo::letterbox(w, h);
            ASSERT_LE(v.x + v.width, w);
            ASSERT_LE(v.y + v.height, h);
            // Bars on one axis only, equal to within a pixel.
            ASSERT_TRUE(v.width == w || v.height == h);
            ASSERT_LE((w - v.width) - 2 * v.x, 1u);
            ASSERT_LE((h - v.height) - 2 * v.y, 1u);
        }
    }
}

TEST(BarIndex, EndsAfterBar39OnTheFloatQuotient) {
    EXPECT_EQ(demo::barIndex(0.0f), 0u);
    EXPECT_EQ(demo::barIndex(2.39f), 0u);
    EXPECT_EQ(demo::barIndex(2.4f), 1u);
    EXPECT_EQ(demo::barIndex(95.99f), 39u);
    EXPECT_EQ(demo::barIndex(96.0f), 40u);
    EXPECT_GT(demo::barIndex(96.0f), demo::lastBar);
    EXPECT_LE(demo::barIndex(95.99f), demo::lastBar);
}

TEST(ContextVersion, NeedsThreeThree) {
    EXPECT_FALSE(demo::contextVersionSufficient(2, 1));
    EXPECT_FALSE(demo::contextVersionSufficient(3, 0));
    EXPECT_FALSE(demo::contextVersionSufficient(3, 2));
    EXPECT_TRUE(demo::contextVersionSufficient(3, 3));
    EXPECT_TRUE(demo::contextVersionSufficient(4, 0));
    EXPECT_TRUE(demo::contextVersionSufficient(4, 5));
}

} // namespace
