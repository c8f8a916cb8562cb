#pragma once

#include <memory>

// Plays "vandrel.mp3" from the working directory from construction until
// destruction. Silent, without a word, when the file, the sound server or
// its client library is missing.
class Music {
public:
    // From the start of the file to its end.
    Music();
    // From `from` seconds in, cut at `cut` seconds (0: at the file's end),
    // ready to seek.
    Music(double from, double cut);
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Starts again at `seconds`: what is buffered is dropped and the stream
    // is made anew, so that its clock counts from the new start. Paused, it
    // stays silent and makes the stream when resumed. Never waits for the
    // sound server: one that froze or went away leaves the music silent
    // until a later seek or resume finds it back.
    void seek(double seconds);
    // Pausing holds the stream and its clock; resuming goes on from there.
    void setPaused(bool paused);
    // The moment of the soundtrack being heard now, in seconds, as the sound
    // server reports it (its own latency included); negative while it has
    // not reported one since the last seek, or when nothing plays.
    double heard() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
