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
    // server reports it (its own latency included); `starting` while the
    // stream asked for has not reported one yet, and `silent` when nothing
    // plays or is on its way. A server that froze goes on being reported
    // as playing on (the client library interpolates its clock), and once
    // it wakes the same moment is reported until what it plays catches up.
    double heard() const;
    static constexpr double starting = -1.0;
    static constexpr double silent = -2.0;

private:
    struct State;
    std::unique_ptr<State> state;
};
