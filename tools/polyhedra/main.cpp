// Writes the constant tables of the fourteen star and stellation solids as a
// C++ header, to the file named on the command line or to standard output.
// With --search it instead repeats the search for the three solids whose
// cell sets are stored as orbit lists, and prints what it finds.
#include "catalogue.h"
#include "custom_solids.h"

#include <string>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--search") {
        std::fputs(poly::searchTsi(argc > 2 ? std::atoi(argv[2]) : -1).c_str(), stdout);
        return 0;
    }
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
