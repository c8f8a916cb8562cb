#include "player.h"

#include "choreography.h"
#include "command_line.h"

#include <algorithm>
#include <cstdio>

namespace demo {

namespace {

// A window wider or taller than any screen has five digits at most.
constexpr cli::Size largestWindow{99999, 99999};
constexpr std::uint32_t smallestSide = 16;

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions p;
    PlayerOptions& o = p.options;
    for (std::size_t i = 0; i < args.size() && p.ok(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            o.help = true;
            return p;
        }
        bool* flag = a == "--loop" ? &o.loop : a == "--mute" ? &o.mute : a == "--benchmark" ? &o.benchmark
                   : a == "--rehearse" ? &o.rehearse : nullptr;
        if (flag) {
            *flag = true;
            continue;
        }
        if (a != "--window" && a != "--from" && a != "--scale") {
            p.error = a.rfind("-", 0) == 0 ? "unknown option " + a : "unexpected argument \"" + a + "\"";
            break;
        }
        if (i + 1 >= args.size()) {
            p.error = a + " needs a value";
            break;
        }
        const std::string& v = args[++i];
        if (a == "--window") {
            cli::Size size;
            p.error = cli::parseSize(a, v, smallestSide, largestWindow, size);
            o.windowed = p.ok();
            o.width = size.width, o.height = size.height;
            continue;
        }
        if (a == "--scale") {
            p.error = cli::parseScale(a, v, o.scale);
            continue;
        }
        p.error = cli::parseNumber(a, v, o.from);
        if (p.ok() && !insidePiece(o.from))
            p.error = "--from " + cli::shown(o.from) + " is outside the demo: it runs from 0 to " +
                      cli::shown(pieceLength) + " s (" + cli::shown(pieceLength) +
                      " itself, and any time that rounds to it, is past the end)";
    }
    return p;
}

std::string usage(const std::string& program) {
    return "Usage: " + program + " [OPTION]...\n"
           "Plays the demo full screen, with its soundtrack, from the start to its end at 96 s.\n"
           "Escape or closing the window ends it.\n"
           "  --window WxH   a window of that size instead of full screen\n"
           "  --from S       start S seconds in (0 to 96), the music from the same moment\n"
           "  --loop         start again from 0 at the end, until Escape or close\n"
           "  --mute         play without sound (no sound server connection)\n"
           "  --benchmark    vertical sync off; print frame times per camera shot at the end\n"
           "                 (Ctrl-C ends it with its table too)\n"
           "  --scale F      render the scene, the bloom and the shadow map at F (0.25 to 1)\n"
           "                 of the picture's size: faster, but a softer picture, softer\n"
           "                 shadows, and thin lines that may vanish\n"
           "  --rehearse     keys: Space pauses and resumes, Left and Right step a bar\n"
           "                 back or forward, Home starts again; each says where it leaves\n"
           "                 the picture (bar, camera shot, time) in the title and on stdout\n"
           "  --help         this text\n";
}

std::string windowTooLarge(const PlayerOptions& o, std::uint32_t screenWidth, std::uint32_t screenHeight) {
    if (!o.windowed || (o.width <= screenWidth && o.height <= screenHeight)) return "";
    const auto size = [](std::uint32_t w, std::uint32_t h) { return std::to_string(w) + "x" + std::to_string(h); };
    return "--window " + size(o.width, o.height) + " is larger than the screen, " + size(screenWidth, screenHeight) +
           "; the largest window that fits is " + size(std::min(o.width, screenWidth), std::min(o.height, screenHeight));
}

FrameTimes::FrameTimes(std::size_t capacity) { samples.reserve(capacity); }

void FrameTimes::record(std::uint32_t shot, double milliseconds) {
    if (samples.size() < samples.capacity()) samples.push_back({shot, float(milliseconds)});
    else ++dropped;
}

std::string FrameTimes::table() const {
    std::string out = "frame times (ms)        frames     mean   median      p95\n";
    auto row = [&](const std::string& name, std::uint32_t shot, bool all) {
        std::vector<double> ms;
        for (const Sample& s : samples)
            if (all || s.shot == shot) ms.push_back(double(s.ms));
        if (ms.empty()) return;
        double sum = 0.0;
        for (double v : ms) sum += v;
        char line[128];
        std::snprintf(line, sizeof line, "%-22s %7zu %8.2f %8.2f %8.2f\n", name.c_str(), ms.size(),
                      sum / double(ms.size()), cli::percentile(ms, 50), cli::percentile(ms, 95));
        out += line;
    };
    row("whole run", 0, true);
    for (std::uint32_t shot = 0; shot < shotCount; ++shot) {
        const std::uint32_t last = shot + 1 < shotCount ? shotStarts[shot + 1] - 1 : lastBar;
        const std::string first = std::to_string(shotStarts[shot]);
        row("shot " + std::to_string(shot + 1) +
                (last > shotStarts[shot] ? " (bars " + first + "-" + std::to_string(last) + ")" : " (bar " + first + ")"),
            shot, false);
    }
    if (dropped) out += std::to_string(dropped) + " more frames were not sampled\n";
    return out;
}

std::string FrameTimes::report(double firstFrameMs) const {
    // A run ended before its first frame has no start-up time to tell.
    if (firstFrameMs < 0.0) return "start-up to first frame: none, no frame was drawn\n" + table();
    char line[64];
    std::snprintf(line, sizeof line, "start-up to first frame: %.0f ms\n", firstFrameMs);
    return line + table();
}

} // namespace demo
