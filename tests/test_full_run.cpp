// The whole piece in the shipped code with its soundtrack, watched from
// inside by demo_checked. It takes the demo's 96 s, so it runs once, in the
// sanitizer build, where it checks the most; its report also gives where
// the picture stands against the music as the sound server hears it, at
// the start and at the end.
#include "choreography.h"
#include "process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

// The whole piece, start to natural end, in the shipped code watched from
// inside: nothing printed, no GL error, no allocation or GL object made by
// the frame loop, every object deleted once with its context, and at least
// one frame in every bar.
TEST(FullRun, PlaysToItsNaturalEndCleanly) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "no X server (run the tests through scripts/test.sh)";
    auto demo = std::make_unique<testproc::Process>(DEMO_CHECKED_BINARY, std::vector<std::string>{},
                                                    SOUNDTRACK_DIR, std::getenv("DISPLAY"));
    const int status = demo->wait(400);
    const std::string report = demo->err();
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(demo->out(), "");
    for (const char* line : {"gl errors: 0\n", "frame loop allocations: 0 ", "frame loop gl objects: 0\n",
                             "gl objects left after tear-down: 0\n", "gl deletes of dead names: 0\n",
                             "gl deletes without a context: 0\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    EXPECT_EQ(report.find("gl objects made at start-up: 0\n"), std::string::npos) << report;
    const std::size_t bars = report.find("frames per bar:");
    ASSERT_NE(bars, std::string::npos) << report;
    std::istringstream counts(report.substr(bars + 15));
    int bar = 0;
    for (unsigned frames; counts >> frames; ++bar) EXPECT_GT(frames, 0u) << "bar " << bar;
    EXPECT_EQ(bar, int(demo::lastBar) + 1);
    std::printf("%s", report.c_str());
}

} // namespace
