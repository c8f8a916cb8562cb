// The whole piece in the shipped code with its soundtrack, watched from
// inside by demo_checked. It takes the demo's 96 s, so it runs once, in the
// sanitizer build, where it checks the most; its report also gives where
// the picture stands against the music as the sound server hears it, at
// the start and at the end.
#include "choreography.h"
#include "process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>

namespace {

// The whole piece, start to natural end, in the shipped code watched from
// inside: nothing printed, no GL error, no allocation or GL object made by
// the frame loop, every object deleted once with its context, and at least
// one frame in every bar.
TEST(FullRun, PlaysToItsNaturalEndCleanly) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "no X server (run the tests through scripts/test.sh)";
    testproc::Process demo(DEMO_CHECKED_BINARY, {}, SOUNDTRACK_DIR, std::getenv("DISPLAY"));
    const int status = demo.wait(400);
    const std::string report = demo.err();
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(demo.out(), "");
    EXPECT_EQ(report.find("gl objects made at start-up: 0\n"), std::string::npos) << report;
    const std::vector<unsigned> bars = testproc::framesPerBarOfCleanRun(report);
    EXPECT_EQ(bars.size(), demo::lastBar + 1) << report;
    EXPECT_EQ(std::count(bars.begin(), bars.end(), 0u), 0) << report;
    std::printf("%s", report.c_str());
}

} // namespace
