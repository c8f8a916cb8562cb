#pragma once

#include <memory>

// Plays "vandrel.mp3" from the working directory from construction until
// destruction. Silent, without a word, when the file or the sound server is
// missing.
class Music {
public:
    Music();
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

private:
    struct State;
    std::unique_ptr<State> state;
};
