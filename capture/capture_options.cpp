#include "capture_options.h"

#include "choreography.h"
#include "command_line.h"

#include <cmath>

namespace capture {

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() > suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string checkSize(const std::string& text, Options& o) {
    cli::Size size;
    const std::string error = cli::parseSize("--size", text, minSide, {maxWidth, maxHeight}, size);
    if (error.empty()) o.width = size.width, o.height = size.height;
    return error;
}

// Everything that depends on more than one option.
std::string checkTogether(Options& o) {
    if (o.mode == Mode::help) return "";
    const double end = double(demo::pieceLength);
    if (o.mode == Mode::still) {
        if (!demo::insidePiece(o.at))
            return "--at " + cli::shown(o.at) + " is outside the demo: it runs from 0 to " + cli::shown(end) +
                   " s (" + cli::shown(end) + " itself, and any time that rounds to it, is past the end)";
        if (!endsWith(o.output, ".png")) return "a still (--at) is written as PNG: name a .png file";
        return "";
    }
    if (o.from < 0.0 || o.from >= end)
        return "--from " + cli::shown(o.from) + " is outside the demo, which runs from 0 to " + cli::shown(end) + " s";
    if (o.to <= 0.0 || o.to > end)
        return "--to " + cli::shown(o.to) + " is outside the demo, which runs from 0 to " + cli::shown(end) + " s";
    if (o.to <= o.from)
        return "--to " + cli::shown(o.to) + " must come after --from " + cli::shown(o.from);
    if (o.mode == Mode::video) {
        if (o.fps != 30 && o.fps != 60) return "a video is made at --fps 30 or --fps 60";
        if (o.width % 2 != 0 || o.height % 2 != 0)
            return "H.264 in yuv420p needs an even width and height; " +
                   std::to_string(o.width) + "x" + std::to_string(o.height) +
                   " is odd (choose, for example, " + std::to_string(o.width & ~1u) + "x" +
                   std::to_string(o.height & ~1u) + ")";
        if (!endsWith(o.output, ".mp4")) return "the video is an MP4: name a .mp4 file";
    } else if (o.fps < 1 || o.fps > 240) {
        return "--fps takes 1 to 240 frames per second";
    }
    if (o.mode != Mode::profile && o.output.empty()) return "name the output";
    if (frames(o).count == 0) return "the range holds no frame at this rate";
    return "";
}

} // namespace

Parsed parse(const std::vector<std::string>& args) {
    Parsed p;
    Options& o = p.options;
    bool sequence = false, still = false, profile = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            o.mode = Mode::help;
            return p;
        } else if (a == "--sequence") {
            sequence = true;
        } else if (a == "--profile") {
            profile = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--headless") {
            o.headless = true;
        } else if (a == "--size" || a == "--fps" || a == "--from" || a == "--to" ||
                   a == "--at" || a == "--soundtrack" || a == "--scale") {
            if (!value(v)) {
                p.error = a + " needs a value";
                return p;
            }
            std::uint64_t n = 0;
            if (a == "--size") {
                p.error = checkSize(v, o);
            } else if (a == "--fps") {
                p.error = cli::parseWhole(a, v, 1000, n);
                o.fps = std::uint32_t(n);
            } else if (a == "--soundtrack") {
                o.soundtrack = v;
            } else if (a == "--scale") {
                p.error = cli::parseScale(a, v, o.scale);
            } else {
                double& target = a == "--from" ? o.from : a == "--to" ? o.to : o.at;
                p.error = cli::parseNumber(a, v, target);
                still = still || a == "--at";
            }
            if (!p.ok()) return p;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            p.error = "unknown option " + a;
            return p;
        } else {
            positional.push_back(a);
        }
    }
    if (int(sequence) + int(still) + int(profile) > 1) {
        p.error = "choose one of --sequence, --at and --profile";
        return p;
    }
    o.mode = sequence ? Mode::sequence : still ? Mode::still : profile ? Mode::profile : Mode::video;
    const std::size_t wanted = o.mode == Mode::profile ? 0 : 1;
    if (positional.size() > wanted) {
        p.error = "unexpected argument \"" + positional[wanted] + "\"";
        return p;
    }
    if (!positional.empty()) o.output = positional[0];
    if (o.mode != Mode::profile && o.output.empty()) {
        p.error = o.mode == Mode::sequence ? "name the directory for the PNG sequence"
                                           : "name the output file, such as party.mp4";
        return p;
    }
    p.error = checkTogether(o);
    return p;
}

FrameRange frames(const Options& o) {
    if (o.mode == Mode::still) return {0, 1};
    // Rounded, so that a range given in seconds lands on the frame grid even
    // when the decimal is not exact in binary (10.1 s at 30 fps is frame 303).
    const auto first = std::uint64_t(std::llround(o.from * o.fps));
    const auto end = std::uint64_t(std::llround(o.to * o.fps));
    return {first, end > first ? end - first : 0};
}

float frameTime(std::uint64_t n, std::uint32_t fps) { return float(double(n) / double(fps)); }

double duration(const FrameRange& range, std::uint32_t fps) {
    return double(range.count) / double(fps);
}

std::string usage(const std::string& program) {
    return "Usage:\n"
           "  " + program + " [--size WxH] [--fps 30|60] [--from S] [--to S] [--soundtrack FILE] OUTPUT.mp4\n"
           "  " + program + " [--size WxH] [--fps N] [--from S] [--to S] --sequence DIRECTORY\n"
           "  " + program + " [--size WxH] --at S OUTPUT.png\n"
           "  " + program + " [--size WxH] [--fps N] [--from S] [--to S] --profile\n"
           "Renders the demo off-screen, frame n at n/fps seconds, through the demo's own\n"
           "frame code. Defaults: --size 1920x1080 --fps 60 --from 0 --to 96\n"
           "--soundtrack vandrel.mp3. The picture is the largest centred 16:9 rectangle\n"
           "of the size, with black bars around it. Add --quiet to hide the progress bar.\n"
           "Each also takes --scale F (0.25 to 1): the scene, the bloom and the shadow map at\n"
           "F of the picture's size, as the demo's --scale: a quick preview, with a softer\n"
           "picture, softer shadows and thin lines that may vanish.\n"
           "It needs no X server: without a display (or with --headless) it renders\n"
           "through EGL, on a GPU's device or Mesa's surfaceless platform.\n";
}

} // namespace capture
