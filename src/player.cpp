#include "player.h"

#include "choreography.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace demo {

namespace {

constexpr double pieceLength = 96.0; // bar 40 is never drawn

bool parseNumber(const std::string& text, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

// WIDTHxHEIGHT in whole pixels: digits only, no sign, no spaces.
bool parseSize(const std::string& text, std::uint32_t& w, std::uint32_t& h) {
    const std::size_t x = text.find('x');
    auto whole = [](const std::string& s, std::uint32_t& out) {
        if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) return false;
        out = std::uint32_t(std::stoul(s));
        return true;
    };
    return x != std::string::npos && whole(text.substr(0, x), w) && whole(text.substr(x + 1), h);
}

std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

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
        double number = 0.0;
        if (a == "--window") {
            o.windowed = parseSize(v, o.width, o.height);
            if (!o.windowed)
                p.error = "--window takes WIDTHxHEIGHT in whole pixels, such as 1280x720, not \"" + v + "\"";
            else if (o.width < 16 || o.height < 16)
                p.error = "--window " + v + " is too small: each side needs at least 16 pixels";
        } else if (!parseNumber(v, number)) {
            p.error = a + " takes a number, not \"" + v + "\"";
        } else if (a == "--from") {
            o.from = number;
            if (number < 0.0 || number >= pieceLength)
                p.error = "--from " + shown(number) + " is outside the demo: it runs from 0 to 96 s "
                          "(96 itself is past the end)";
        } else {
            o.scale = float(number);
            if (number < 0.25 || number > 1.0)
                p.error = "--scale " + shown(number) + " is out of range: it takes 0.25 to 1";
        }
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
           "  --scale F      render the scene at F (0.25 to 1) of the picture's size\n"
           "  --rehearse     keys: Space pauses and resumes, Left and Right step a bar\n"
           "                 back or forward, Home starts again\n"
           "  --help         this text\n";
}

void PictureClock::restart(double t, double now, bool followMusic) {
    target = t;
    since = now;
    following = followMusic;
    reported = frozen = false;
    last = t;
    lastNow = now;
}

void PictureClock::pause(double t) {
    frozen = true;
    last = t;
}

double PictureClock::time(double now, double heard) {
    if (frozen) return last;
    double t;
    if (!following) {
        t = target + (now - since);
    } else if (heard >= 0.0) {
        reported = true;
        t = std::max(target, heard);
    } else if (reported) {
        t = last + (now - lastNow); // the reports stopped: the server went away
    } else {
        t = target + std::max(0.0, now - since - firstReportWait);
    }
    last = t;
    lastNow = now;
    return t;
}

FrameTimes::FrameTimes(std::size_t capacity) { samples.reserve(capacity); }

void FrameTimes::record(std::uint32_t shot, double milliseconds) {
    if (samples.size() < samples.capacity()) samples.push_back({shot, float(milliseconds)});
    else ++dropped;
}

std::string FrameTimes::table() const {
    std::string out = "frame times (ms)        frames     mean   median      p95\n";
    auto row = [&](const std::string& name, std::uint32_t shot, bool all) {
        std::vector<float> ms;
        for (const Sample& s : samples)
            if (all || s.shot == shot) ms.push_back(s.ms);
        if (ms.empty()) return;
        double sum = 0.0;
        for (float v : ms) sum += v;
        std::sort(ms.begin(), ms.end());
        // Nearest rank: the smallest value that at least p % of them do not exceed.
        auto rank = [&](std::size_t p) { return ms[(ms.size() * p + 99) / 100 - 1]; };
        char line[128];
        std::snprintf(line, sizeof line, "%-22s %7zu %8.2f %8.2f %8.2f\n", name.c_str(), ms.size(),
                      sum / double(ms.size()), double(rank(50)), double(rank(95)));
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

} // namespace demo
