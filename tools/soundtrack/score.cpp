#include "score.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace score {

namespace {

// Drums (and, for REST, any part: a bar of silence).
constexpr const char* REST = "................";
constexpr const char* FOUR = "x...x...x...x...";
constexpr const char* ONE = "x...............";
constexpr const char* EIGHTS = "x.x.x.x.x.x.x.x.";
constexpr const char* BACK = "....x.......x...";
constexpr const char* FILL = "....x.......x.xx";
constexpr const char* ROLL = "x.x.x.x.xxxxxxxx";
constexpr const char* ROLL_ALL = "xxxxxxxxxxxxxxxx";
constexpr const char* HAT_OFF = "..x...x...x...x.";
constexpr const char* HAT_8 = "x.x.x.x.x.x.x.x.";
constexpr const char* HAT_16 = "xoxoxoxoxoxoxoxo";

// Bass lines.
constexpr const char* OFFBEAT = "..r...r...r...r.";
constexpr const char* WOBBLE = "r-------r-------";
constexpr const char* DRIVE = "r.ror.ror.ror.ro";
constexpr const char* HELD = "r---------------";
constexpr const char* PULSE = "r.r.r.r.r.r.r.r.";
constexpr const char* RUN = "rrrrororrrrrofof";

// Arpeggios.
constexpr const char* SPARSE = "0...1...2...1...";
constexpr const char* HOP = "0.1.2.1.0.1.2.1.";
constexpr const char* UP = "0120312031203120";
constexpr const char* CLIMB = "0123012301230123";

// The theme, over Am F C G, and its answer.
constexpr const char* THEME_1 = "e5/4 a5/4 g5/2 e5/2 c5/4";
constexpr const char* THEME_2 = "d5/2 c5/2 a4/4 c5/4 f5/4";
constexpr const char* THEME_3 = "e5/4 g5/4 c6/4 b5/2 g5/2";
constexpr const char* THEME_4 = "d5/6 b4/2 g4/4 r/4";
constexpr const char* THEME_5 = "e5/4 a5/4 b5/2 c6/2 b5/2 a5/2";
constexpr const char* THEME_6 = "a5/4 g5/2 f5/2 e5/8";
// The variation that goes with the spread.
constexpr const char* VAR_1 = "a5/2 e5/2 a5/2 b5/2 c6/4 b5/2 a5/2";
constexpr const char* VAR_2 = "c6/4 a5/4 f5/4 a5/4";
constexpr const char* VAR_3 = "g5/2 e5/2 g5/2 a5/2 g5/4 e5/4";
constexpr const char* VAR_4 = "d5/4 g5/4 b5/4 d6/4";
// The climax's last two bars climb to the top.
constexpr const char* PEAK_1 = "g5/4 c6/4 e6/4 d6/4";
constexpr const char* PEAK_2 = "d6/6 b5/2 g5/8";

} // namespace

// Sections by time: 0 s hopping rings (intro, then the beat from bar 4);
// 19.2 s landing and wobble; 28.8 s ground and sky turning (theme); 43.2 s
// the wave (break); 48 s the red grid; 52.8 s the spread (variation);
// 62.4 s the climb; 67.2 s the flash and the stepping rings (climax, a
// cymbal on every bar line); 86.4 s the fade.
const Bar bars[barCount] = {
    // chord kick  snare     hat      bass     arp     lead     pad   wob   crash  riser
    {"Am", REST,   REST,     REST,    REST,    SPARSE, nullptr, 0.6f, 0.0f, false, 0},  // 0.0 s
    {"F",  REST,   REST,     REST,    REST,    SPARSE, nullptr, 0.7f, 0.0f, false, 0},
    {"C",  REST,   REST,     HAT_OFF, REST,    HOP,    nullptr, 0.8f, 0.0f, false, 0},
    {"G",  REST,   REST,     HAT_OFF, REST,    HOP,    nullptr, 0.9f, 0.0f, false, 0},
    {"Am", FOUR,   REST,     HAT_OFF, OFFBEAT, HOP,    nullptr, 1.0f, 0.0f, false, 0},  // 9.6 s
    {"F",  FOUR,   REST,     HAT_OFF, OFFBEAT, HOP,    nullptr, 1.0f, 0.0f, false, 0},
    {"C",  FOUR,   REST,     HAT_OFF, OFFBEAT, UP,     nullptr, 1.0f, 0.0f, false, 0},
    {"G",  FOUR,   FILL,     HAT_OFF, OFFBEAT, UP,     nullptr, 1.0f, 0.0f, false, 0},
    {"Am", FOUR,   BACK,     HAT_8,   WOBBLE,  UP,     nullptr, 1.0f, 1.0f, true,  0},  // 19.2 s
    {"F",  FOUR,   BACK,     HAT_8,   WOBBLE,  UP,     nullptr, 1.0f, 1.0f, false, 0},
    {"C",  FOUR,   BACK,     HAT_8,   WOBBLE,  UP,     nullptr, 1.0f, 1.0f, false, 0},
    {"G",  FOUR,   FILL,     HAT_8,   WOBBLE,  UP,     nullptr, 1.0f, 1.0f, false, 0},
    {"Am", FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_1, 1.0f, 0.2f, true,  0},  // 28.8 s
    {"F",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_2, 1.0f, 0.2f, false, 0},
    {"C",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_3, 1.0f, 0.2f, false, 0},
    {"G",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_4, 1.0f, 0.2f, false, 0},
    {"Am", FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_5, 1.0f, 0.2f, false, 0},
    {"F",  FOUR,   FILL,     HAT_16,  DRIVE,   UP,     THEME_6, 1.0f, 0.2f, false, 0},
    {"Dm", ONE,    REST,     REST,    HELD,    SPARSE, nullptr, 1.0f, 0.0f, true,  2},  // 43.2 s
    {"E",  REST,   ROLL,     REST,    HELD,    HOP,    nullptr, 1.0f, 0.0f, false, 0},
    {"Am", FOUR,   BACK,     HAT_16,  DRIVE,   UP,     nullptr, 0.8f, 0.6f, true,  0},  // 48.0 s
    {"F",  FOUR,   FILL,     HAT_16,  DRIVE,   UP,     nullptr, 0.8f, 0.6f, false, 0},
    {"Am", FOUR,   BACK,     HAT_16,  DRIVE,   UP,     VAR_1,   1.0f, 0.2f, true,  0},  // 52.8 s
    {"F",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     VAR_2,   1.0f, 0.2f, false, 0},
    {"C",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     VAR_3,   1.0f, 0.2f, false, 0},
    {"G",  FOUR,   FILL,     HAT_16,  DRIVE,   UP,     VAR_4,   1.0f, 0.2f, false, 0},
    {"F",  FOUR,   EIGHTS,   HAT_8,   PULSE,   CLIMB,  nullptr, 1.0f, 0.0f, true,  2},  // 62.4 s
    {"E",  EIGHTS, ROLL_ALL, HAT_16,  RUN,     CLIMB,  nullptr, 1.0f, 0.0f, false, 0},
    {"Am", FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_1, 1.0f, 0.4f, true,  0},  // 67.2 s
    {"F",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_2, 1.0f, 0.4f, true,  0},
    {"C",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_3, 1.0f, 0.4f, true,  0},
    {"G",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     VAR_4,   1.0f, 0.4f, true,  0},
    {"Am", FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_5, 1.0f, 0.4f, true,  0},
    {"F",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     THEME_6, 1.0f, 0.4f, true,  0},
    {"C",  FOUR,   BACK,     HAT_16,  DRIVE,   UP,     PEAK_1,  1.0f, 0.4f, true,  0},
    {"G",  FOUR,   FILL,     HAT_16,  DRIVE,   UP,     PEAK_2,  1.0f, 0.4f, true,  0},
    {"Am", FOUR,   REST,     HAT_OFF, HELD,    HOP,    nullptr, 1.0f, 0.0f, true,  0},  // 86.4 s
    {"F",  REST,   REST,     REST,    HELD,    HOP,    nullptr, 1.0f, 0.0f, false, 0},
    {"C",  REST,   REST,     REST,    HELD,    SPARSE, nullptr, 1.0f, 0.0f, false, 0},
    {"Am", REST,   REST,     REST,    HELD,    SPARSE, nullptr, 1.0f, 0.0f, false, 0},
};

namespace {

// Semitones above C of a note letter, or -1.
int pitchClass(char letter) {
    static const int classes[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    const char c = char(std::tolower(static_cast<unsigned char>(letter)));
    return c >= 'a' && c <= 'g' ? classes[c - 'a'] : -1;
}

// Reads a letter and an optional accidental into semitones above the
// octave's C (-1 for "cb", 12 for "b#"); returns the characters consumed.
int readPitch(const char* text, int& semitone) {
    semitone = pitchClass(text[0]);
    if (semitone < 0) return 0;
    if (text[1] == '#') return ++semitone, 2;
    if (text[1] == 'b') return --semitone, 2;
    return 1;
}

} // namespace

bool parseChord(const char* name, Triad& triad) {
    int root = 0;
    const int used = readPitch(name, root);
    if (used == 0) return false;
    const char* rest = name + used;
    const bool minor = std::strcmp(rest, "m") == 0;
    if (!minor && *rest != '\0') return false;
    const int base = 60 + (root + 12) % 12;
    triad = {{base, base + (minor ? 3 : 4), base + 7}};
    return true;
}

bool parsePhrase(const char* phrase, std::vector<Note>& notes) {
    notes.clear();
    int step = 0;
    const char* p = phrase;
    while (*p != '\0') {
        while (*p == ' ') ++p;
        if (*p == '\0') break;
        int midi = -1;
        if (*p == 'r') {
            ++p;
        } else {
            int semitone = 0;
            const int used = readPitch(p, semitone);
            if (used == 0 || !std::isdigit(static_cast<unsigned char>(p[used]))) return false;
            midi = 12 * (p[used] - '0' + 1) + semitone;
            p += used + 1;
        }
        if (*p != '/') return false;
        char* end = nullptr;
        const long length = std::strtol(p + 1, &end, 10);
        if (end == p + 1 || length <= 0) return false;
        p = end;
        if (midi >= 0) notes.push_back({step, int(length), midi});
        step += int(length);
    }
    return step == stepsPerBar;
}

bool validPattern(const char* pattern, const char* allowed) {
    if (pattern == nullptr || std::strlen(pattern) != std::size_t(stepsPerBar)) return false;
    for (const char* p = pattern; *p != '\0'; ++p)
        if (std::strchr(allowed, *p) == nullptr) return false;
    return true;
}

} // namespace score
