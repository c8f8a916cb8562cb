// The score's notation, and the rendered soundtrack measured as a listener
// would: format, length, level, the timeline's sections, beat and events.
#include "audio_support.h"
#include "mp3_encoder.h"
#include "process.h"
#include "score.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>

using namespace audiotest;

namespace {

// Chords as triads of MIDI notes (none: refused), lead phrases that must
// fill their bar, and every bar of the piece written in that notation: a
// typo would otherwise drop a part silently.
TEST(Score, NotationAndEveryBar) {
    const struct { const char* name; std::vector<int> notes; } chords[] = {
        {"Am", {69, 72, 76}}, {"F", {65, 69, 72}}, {"C#m", {61, 64, 68}}, {"Bb", {70, 74, 77}}, {"Cb", {71, 75, 78}},
        {"H", {}}, {"Amaj", {}}, {"", {}}};
    score::Triad t{};
    for (const auto& c : chords)
        EXPECT_EQ(score::parseChord(c.name, t) ? std::vector<int>(t.notes, t.notes + 3) : std::vector<int>(), c.notes) << c.name;
    std::vector<score::Note> notes;
    std::vector<int> flat;
    ASSERT_TRUE(score::parsePhrase("e5/4 r/2 a4/2 c#5/3 bb4/1 cb5/4", notes));
    for (const score::Note& n : notes) flat.insert(flat.end(), {n.step, n.length, n.midi});
    EXPECT_EQ(flat, (std::vector<int>{0, 4, 76, 6, 2, 69, 8, 3, 73, 11, 1, 70, 12, 4, 71}));
    for (const char* bad : {"a4/8", "x4/16", "a/16", "a4/0 a4/16", "a4/", ""}) EXPECT_FALSE(score::parsePhrase(bad, notes)) << bad;
    for (const score::Bar& bar : score::bars)
        EXPECT_TRUE(score::parseChord(bar.chord, t) && (bar.lead == nullptr || score::parsePhrase(bar.lead, notes)) &&
                    score::validPattern(bar.kick, "xo.") && score::validPattern(bar.snare, "xo.") &&
                    score::validPattern(bar.hat, "xo.") && score::validPattern(bar.bass, "rof-.") && bar.bass[0] != '-' &&
                    score::validPattern(bar.arp, "0123.") && &bar - score::bars + bar.riser <= score::barCount &&
                    bar.wobble >= 0.0f && bar.wobble <= 1.0f) << "bar " << &bar - score::bars;
}

constexpr double bar = score::barSeconds;

// RMS from `from` to `to` seconds, in dBFS.
double level(const std::vector<float>& x, double from, double to) {
    const auto at = [&](double t) { return std::min(x.size(), std::size_t(t * 44100.0)); };
    return toDb(rms(x.data() + at(from), at(to) - at(from)));
}

// 44.1 kHz stereo as long as the demo, peaking below clipping, its body at a
// sensible level; bar by bar a soft intro, the beat from 9.6 s, the break of
// the wave at 43.2 s, the fade from 86.4 s into silence at 96 s.
TEST(Soundtrack, FormatLevelAndSections) {
    const Pcm pcm = decodeMp3(SOUNDTRACK_MP3);
    const std::vector<float> mono = pcm.channel(-1);
    EXPECT_EQ(pcm.rate * 10 + pcm.channels, 441002);
    EXPECT_TRUE(pcm.frames() >= 96 * 44100 && pcm.frames() < 100 * 44100) << pcm.frames();
    const auto [lowest, highest] = std::minmax_element(pcm.samples.begin(), pcm.samples.end());
    const double peak = toDb(std::max(-*lowest, *highest));
    EXPECT_TRUE(peak <= -1.0 && peak >= -6.0) << peak;
    EXPECT_TRUE(level(mono, 9.6, 86.4) > -18.0 && level(mono, 9.6, 86.4) < -10.0) << level(mono, 9.6, 86.4);
    const auto barLevel = [&](int b) { return level(mono, b * bar, (b + 1) * bar); };
    for (int b = 0; b < 36; ++b) EXPECT_GT(barLevel(b), -35.0) << "bar " << b << " is nearly silent";
    for (int b = 0; b < 4; ++b) EXPECT_LT(barLevel(b), barLevel(4) - 8.0) << "bar " << b;
    EXPECT_TRUE(barLevel(18) < barLevel(17) - 3.0 && barLevel(19) < barLevel(20) - 3.0) << barLevel(18) << " " << barLevel(19);
    for (int b = 36; b < 39; ++b) EXPECT_LT(barLevel(b + 1), barLevel(b) - 10.0) << "bar " << b;
    EXPECT_LT(level(mono, 95.5, 100.0), -60.0);
}

// The kick sits on the 0.6 s grid from time zero: the rises of the low
// band's 10 ms level, folded onto one beat, gather within 50 ms after it.
TEST(Soundtrack, BeatsFallOnTheGrid) {
    const std::vector<float> low = decodeMp3(SOUNDTRACK_MP3, "lowpass=f=150").channel(-1);
    std::vector<double> phase(60); // 10 ms bins across one beat
    for (std::size_t k = 1; (k + 1) * 441 <= low.size(); ++k)
        phase[k % 60] += std::max(0.0, rms(low.data() + k * 441, 441) - rms(low.data() + (k - 1) * 441, 441));
    EXPECT_LE(std::max_element(phase.begin(), phase.end()) - phase.begin(), 2);
    EXPECT_GT(std::accumulate(phase.begin(), phase.begin() + 6, 0.0) / std::accumulate(phase.begin(), phase.end(), 0.0), 0.5);
}

// The timeline's events (19.2, 28.8, 43.2, 48, 52.8, 62.4 and 86.4 s) and
// every bar line of the climax from 67.2 s open with a cymbal: the high band
// right after the bar line more than 3.5 dB above the same one beat later
// (3.7 to 16 dB where there is one; the break at 43.2 s alone, without its
// cymbal, gives 3.3). Other bar lines stay below 0 dB; the fade's own fall
// would mimic one, so the check stops there.
TEST(Soundtrack, CymbalsMarkTheEvents) {
    const std::vector<float> high = decodeMp3(SOUNDTRACK_MP3, "highpass=f=5000").channel(-1);
    const std::vector<int> events = {8, 12, 18, 20, 22, 26, 28, 29, 30, 31, 32, 33, 34, 35, 36};
    for (int b = 1; b <= 36; ++b) {
        const double rise = level(high, b * bar, b * bar + 0.3) - level(high, b * bar + 0.6, b * bar + 0.9);
        EXPECT_EQ(rise > 3.5, std::count(events.begin(), events.end(), b) == 1) << b * bar << " s: " << rise << " dB";
    }
}

// The file is written whole or not at all, and the last good one stays as
// it was: an encoder that fails part-way (LAME takes 1000 Hz, a rate MP3
// lacks, and resamples it to more than one call's output buffer holds), a
// name taken by a directory, and the tool aimed at a place it cannot write
// each say so, and leave no temporary file.
TEST(Soundtrack, FailuresKeepTheLastGoodFileAndLeaveNoOther) {
    namespace fs = std::filesystem;
    const std::string dir = testproc::scratchDir(), good = dir + "/vandrel.mp3";
    std::ofstream(good) << "the last good build";
    std::ofstream(dir + "/file").close();
    fs::create_directories(dir + "/taken.mp3/keep");
    const std::vector<float> tone(44100, 0.25f);
    const struct { std::string path; int rate; std::string says; } cases[] = {
        {good, 1000, "LAME failed with error -1 at sample 0 of 44100"},
        {dir + "/taken.mp3", 44100, "cannot rename " + dir + "/taken.mp3.part to " + dir + "/taken.mp3: Is a directory"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(writeMp3(c.path, tone.data(), nullptr, tone.size(), c.rate, 192, error)) << c.path;
        EXPECT_EQ(error, c.says);
    }
    const testproc::Result r = testproc::shell("'" SOUNDTRACK_BINARY "' '" + dir + "/file/vandrel.mp3' 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, SOUNDTRACK_BINARY ": cannot write " + dir + "/file/vandrel.mp3.part: Not a directory\n");
    EXPECT_EQ(testproc::shell("cd '" + dir + "' && find . | sort && cat vandrel.mp3").output,
              ".\n./file\n./taken.mp3\n./taken.mp3/keep\n./vandrel.mp3\nthe last good build");
    fs::remove_all(dir);
}

} // namespace
