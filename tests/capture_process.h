#pragma once
// Runs the built capture program as a child process for the tests.
#include "gl_context.h"

#include <cstdlib>
#include <string>

namespace testcapture {

inline const std::string binary = CAPTURE_BINARY;
inline const std::string soundtrack = SOUNDTRACK_MP3;

struct Result {
    int status = -1;
    std::string output; // standard output and error together
};

// `environment` goes before the program, such as "env PATH=/x". The build's
// soundtrack is named first, so a later --soundtrack in `arguments` wins.
inline Result run(const std::string& arguments, const std::string& environment = "") {
    Result r;
    r.output = testgl::capture(environment + " '" + binary + "' --quiet --soundtrack '" +
                                   soundtrack + "' " + arguments + " 2>&1",
                               &r.status);
    return r;
}

inline std::string scratchDir() {
    char dir[] = "/tmp/capture-run-XXXXXX";
    return mkdtemp(dir);
}

} // namespace testcapture
