#pragma once

#include <vector>

// The piece as data: forty bars of 4/4 at 100 beats a minute, so one bar is
// 2.4 s and one step (a sixteenth note) 0.15 s.
namespace score {

constexpr int stepsPerBar = 16;
constexpr double stepSeconds = 0.15;
constexpr double barSeconds = stepSeconds * stepsPerBar;
constexpr int barCount = 40;

// One bar of every part.
// Drum patterns have one character per step: 'x' hit, 'o' soft hit, '.' rest.
// Bass: 'r' root, 'o' root an octave up, 'f' fifth, '-' holds the note
// before, '.' rest. Arpeggio: '0' to '2' the chord's tones from low to
// high, '3' the lowest an octave up, '.' rest.
// Lead: a phrase of notes "e5/4 a5/2 r/2", pitch (or r for a rest) and
// length in steps, filling the bar; null for none.
struct Bar {
    const char* chord;  // "Am", "F", "C#m" ...
    const char* kick;
    const char* snare;
    const char* hat;
    const char* bass;
    const char* arp;
    const char* lead;
    float pad;      // level of the sustained chord, 0 for none
    float wobble;   // depth of the bass filter sweep, 0 to 1
    bool crash;     // a cymbal on the bar line
    int riser;      // bars of rising noise starting here, 0 for none
};

extern const Bar bars[barCount];

// A chord's three tones as MIDI notes, the root first.
struct Triad {
    int notes[3];
};
// Parses "A", "Am", "F#", "Bbm": false for anything else.
bool parseChord(const char* name, Triad& triad);

struct Note {
    int step;    // from the start of the bar
    int length;  // in steps
    int midi;
};
// Parses a lead phrase into its notes (rests left out); false when the
// phrase is malformed or its lengths do not add up to one bar.
bool parsePhrase(const char* phrase, std::vector<Note>& notes);

// True for a pattern of exactly one bar made only of `allowed` characters.
bool validPattern(const char* pattern, const char* allowed);

} // namespace score
