#include "demo.h"

#include <cstdio>

int main(int argc, char** argv) {
    demo::ParsedOptions parsed = demo::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    parsed.options.program = argv[0];
    if (!parsed.ok()) {
        std::fprintf(stderr, "demo: %s\n%s", parsed.error.c_str(), demo::usage(argv[0]).c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::printf("%s", demo::usage(argv[0]).c_str());
        return 0;
    }
    return demo::run(parsed.options);
}
