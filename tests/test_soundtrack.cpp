// The score's notation, and the rendered soundtrack measured as a listener
// would: format, length, level, beat and the timeline's events.
#include "audio_support.h"
#include "score.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

using namespace audiotest;

namespace {

// The notation the score is written in: chords as triads of MIDI notes,
// and lead phrases that must fill their bar.
TEST(Score, NotationAndEveryBar) {
    const struct { const char* name; bool ok; int notes[3]; } chords[] = {
        {"Am", true, {69, 72, 76}}, {"F", true, {65, 69, 72}}, {"C#m", true, {61, 64, 68}},
        {"Bb", true, {70, 74, 77}}, {"Cb", true, {71, 75, 78}}, {"H", false, {}}, {"Amaj", false, {}}, {"", false, {}},
    };
    for (const auto& c : chords) {
        score::Triad triad{};
        ASSERT_EQ(score::parseChord(c.name, triad), c.ok) << c.name;
        if (c.ok) {
            EXPECT_TRUE(std::equal(c.notes, c.notes + 3, triad.notes)) << c.name;
        }
    }
    std::vector<score::Note> notes;
    ASSERT_TRUE(score::parsePhrase("e5/4 r/2 a4/2 c#5/3 bb4/1 cb5/4", notes));
    const std::vector<std::array<int, 3>> expected = {{0, 4, 76}, {6, 2, 69}, {8, 3, 73}, {11, 1, 70}, {12, 4, 71}};
    ASSERT_EQ(notes.size(), expected.size());
    for (std::size_t i = 0; i < notes.size(); ++i)
        EXPECT_EQ((std::array<int, 3>{notes[i].step, notes[i].length, notes[i].midi}), expected[i]) << i;
    for (const char* bad : {"a4/8", "x4/16", "a/16", "a4/0 a4/16", "a4/", ""}) EXPECT_FALSE(score::parsePhrase(bad, notes)) << bad;

    // Every bar of the piece is written in it; a typo would otherwise drop a
    // part silently.
    for (int b = 0; b < score::barCount; ++b) {
        SCOPED_TRACE("bar " + std::to_string(b));
        const score::Bar& bar = score::bars[b];
        score::Triad triad{};
        EXPECT_TRUE(score::parseChord(bar.chord, triad)) << bar.chord;
        EXPECT_TRUE(score::validPattern(bar.kick, "xo."));
        EXPECT_TRUE(score::validPattern(bar.snare, "xo."));
        EXPECT_TRUE(score::validPattern(bar.hat, "xo."));
        EXPECT_TRUE(score::validPattern(bar.bass, "rof-."));
        EXPECT_NE(bar.bass[0], '-') << "a held note needs one to hold";
        EXPECT_TRUE(score::validPattern(bar.arp, "0123."));
        if (bar.lead != nullptr) {
            EXPECT_TRUE(score::parsePhrase(bar.lead, notes)) << bar.lead;
        }
        EXPECT_LE(b + bar.riser, score::barCount);
        EXPECT_TRUE(bar.wobble >= 0.0f && bar.wobble <= 1.0f);
    }
}

// ---------------------------------------------------------------------------
// The rendered soundtrack

constexpr double bar = 2.4;

class Soundtrack : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pcm = decodeMp3(SOUNDTRACK_MP3);
        mono = pcm.channel(-1);
    }
    static std::size_t at(double seconds) { return std::min(mono.size(), std::size_t(seconds * 44100.0)); }
    // RMS of the mono mix from `from` to `to` seconds, in dBFS.
    static double level(const std::vector<float>& x, double from, double to) {
        return toDb(rms(x.data() + at(from), at(to) - at(from)));
    }
    static inline Pcm pcm;
    static inline std::vector<float> mono;
};

// 44.1 kHz stereo as long as the demo, peaking below clipping, with a body
// at a sensible level.
TEST_F(Soundtrack, FormatLengthAndLevel) {
    EXPECT_EQ(pcm.rate * 10 + pcm.channels, 441002);
    EXPECT_GE(double(pcm.frames()) / 44100.0, 96.0);
    EXPECT_LT(double(pcm.frames()) / 44100.0, 100.0);
    float peak = 0.0f;
    for (float s : pcm.samples) peak = std::max(peak, std::abs(s));
    EXPECT_TRUE(toDb(peak) <= -1.0 && toDb(peak) >= -6.0) << toDb(peak);
    const double body = level(mono, 9.6, 86.4);
    EXPECT_TRUE(body > -18.0 && body < -10.0) << body;
}

// Loudness bar by bar follows the timeline: a soft intro, the beat from
// 9.6 s, the break of the wave at 43.2 s, and the fade from 86.4 s into
// silence at 96 s.
TEST_F(Soundtrack, SectionsFollowTheTimeline) {
    auto barLevel = [&](int b) { return level(mono, b * bar, (b + 1) * bar); };
    for (int b = 0; b < 36; ++b) EXPECT_GT(barLevel(b), -35.0) << "bar " << b << " is nearly silent";
    for (int b = 0; b < 4; ++b) EXPECT_LT(barLevel(b), barLevel(4) - 8.0) << "bar " << b;
    EXPECT_LT(barLevel(18), barLevel(17) - 3.0);
    EXPECT_LT(barLevel(19), barLevel(20) - 3.0);
    for (int b = 36; b < 39; ++b) EXPECT_LT(barLevel(b + 1), barLevel(b) - 10.0) << "bar " << b;
    EXPECT_LT(level(mono, 95.5, double(mono.size()) / 44100.0), -60.0);
}

// Onset strength: the rise of the low band's 10 ms envelope, which the kick
// drum dominates.
std::vector<double> kickOnsets(const std::vector<float>& x) {
    const double a = 1.0 - std::exp(-2.0 * M_PI * 150.0 / 44100.0);
    double y1 = 0.0, y2 = 0.0;
    std::vector<float> low(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        y1 += a * (x[i] - y1);
        y2 += a * (y1 - y2);
        low[i] = float(y2);
    }
    constexpr std::size_t hop = 441;
    std::vector<double> onset(x.size() / hop, 0.0);
    double previous = 0.0;
    for (std::size_t k = 0; k < onset.size(); ++k) {
        const double e = rms(low.data() + k * hop, hop);
        onset[k] = std::max(0.0, e - previous);
        previous = e;
    }
    return onset;
}

// The beat sits on the 0.6 s grid from time zero: folded onto one beat, the
// onsets gather within 50 ms after the grid lines.
TEST_F(Soundtrack, BeatsFallOnTheGrid) {
    const std::vector<double> onset = kickOnsets(mono);
    std::vector<double> phase(60, 0.0);  // 10 ms bins across one 0.6 s beat
    for (std::size_t k = 0; k < onset.size(); ++k) phase[k % 60] += onset[k];
    const double total = std::accumulate(phase.begin(), phase.end(), 0.0);
    const std::size_t strongest = std::size_t(std::max_element(phase.begin(), phase.end()) - phase.begin());
    EXPECT_LE(strongest, 2u);
    EXPECT_GT(std::accumulate(phase.begin(), phase.begin() + 6, 0.0) / total, 0.5);
}

// The timeline's events and, in the climax, every bar line (where the
// rings step) open with a cymbal: the high band right after the bar line is
// well above the same band one beat later. Bars without an event are not.
TEST_F(Soundtrack, CymbalsMarkTheEvents) {
    const double a = std::exp(-2.0 * M_PI * 5000.0 / 44100.0);
    std::vector<float> high(mono.size());
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    for (std::size_t i = 0; i < high.size(); ++i) {
        const double y = a * (y1 + (mono)[i] - x1);
        x1 = (mono)[i];
        y1 = y;
        const double z = a * (y2 + y - x2);
        x2 = y;
        y2 = z;
        high[i] = float(z);
    }
    const double events[] = {19.2, 28.8, 43.2, 48.0, 52.8, 62.4, 86.4};
    // The fade's own fall would mimic a cymbal: stop before it.
    for (int b = 1; b <= 36; ++b) {
        const double t = b * bar;
        const bool climax = t >= 67.2 - 1e-6 && t < 86.4 - 1e-6;
        const bool event = climax || std::any_of(std::begin(events), std::end(events),
                                                 [&](double e) { return std::abs(e - t) < 1e-6; });
        const double rise = level(high, t, t + 0.3) - level(high, t + 0.6, t + 0.9);
        if (event)
            EXPECT_GT(rise, 2.0) << "no cymbal at " << t << " s";
        else
            EXPECT_LT(rise, 2.0) << "a cymbal at " << t << " s";
    }
}

} // namespace
