// Writes the constant tables of the fourteen star and stellation solids as a
// C++ header, to the file named on the command line or to standard output.
#include "catalogue.h"

#include <cstdio>

int main(int argc, char** argv) {
    const std::string text = poly::emitHeader(poly::buildCatalogue());
    FILE* out = argc > 1 ? std::fopen(argv[1], "wb") : stdout;
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), out);
    if (out != stdout) std::fclose(out);
    return 0;
}
