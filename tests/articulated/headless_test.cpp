// Runs the real articulated executable headless with scripted input and checks
// the trace it writes and the frames it captures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/headless_run.h"
#include "tests/support/json_line.h"
#include "tests/support/png_image.h"

namespace {

using Result = HeadlessResult;

class Headless : public HeadlessRun {
protected:
    Headless() : HeadlessRun("articulated_headless") {}

    // Runs articulated --headless with the script (if any) and a trace.
    Result run(const std::string& script, const std::string& extra = "",
               const std::string& data = ARTICULATED_DATA_DIR) {
        return runHeadless(ARTICULATED_EXE, data,
                           script.empty() ? std::nullopt : std::optional<std::string>(script),
                           extra);
    }
};

double num(const JsonFields& f, const std::string& key) {
    auto it = f.find(key);
    EXPECT_TRUE(it != f.end() && it->second.kind == JsonValue::Kind::Number) << key;
    return it == f.end() ? NAN : it->second.number;
}
bool flag(const JsonFields& f, const std::string& key) {
    auto it = f.find(key);
    EXPECT_TRUE(it != f.end() && it->second.kind == JsonValue::Kind::Bool) << key;
    return it != f.end() && it->second.boolean;
}
// The trace line of the first frame drawn at or after `ms` into the run.
const JsonFields& at(const Result& r, uint32_t ms) {
    for (const JsonFields& f : r.trace) {
        if (num(f, "tick") - num(r.trace[0], "tick") >= ms) return f;
    }
    ADD_FAILURE() << "no frame at " << ms << " ms";
    return r.trace.back();
}

TEST_F(Headless, TraceHasOneLinePerFrameWithTheClipClock) {
    const Result r = run("", "--frames 40");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.trace.size(), 40u);
    int advances = 0;
    for (size_t i = 0; i < r.trace.size(); ++i) {
        const JsonFields& f = r.trace[i];
        EXPECT_EQ(num(f, "frame"), i + 1.0);
        EXPECT_EQ(num(f, "tick"), 1000000.0 + 16.0 * i);
        EXPECT_EQ(num(f, "fps"), 0.0);  // nothing is shown in the first second
        EXPECT_FALSE(flag(f, "help"));
        EXPECT_EQ(num(f, "eye.0"), -100.0);
        EXPECT_EQ(num(f, "clip.periodMs"), 300.0);
        EXPECT_TRUE(flag(f, "clip.interpolate"));
        const double frames = num(f, "clip.frames");
        EXPECT_GE(frames, 25.0);
        EXPECT_LE(frames, 35.0);
        EXPECT_LE(num(f, "clip.elapsedMs"), 300.0);
        EXPECT_GE(num(f, "cpuUs"), 0.0);
        EXPECT_EQ(f.count("path") + f.count("path.fraction") + f.count("reach.active"), 0u);
        if (i > 0 && num(f, "clip.current") != num(r.trace[i - 1], "clip.current")) ++advances;
    }
    // 39 steps of 16 ms: the clock moves on after 304 ms, then again 304 ms later.
    EXPECT_EQ(advances, 2);
    EXPECT_EQ(num(r.trace[19], "clip.current"), 1.0);
    EXPECT_EQ(num(r.trace[19], "clip.next"), 2.0);
    EXPECT_EQ(num(r.trace[18], "clip.elapsedMs"), 288.0);
}

TEST_F(Headless, TheFrameRateIsShownAfterTheFirstSecondAndTicksMayWrap) {
    const Result r = run("", "--frames 80 --tick-start 4294967000");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.trace.size(), 80u);
    EXPECT_EQ(num(r.trace[0], "tick"), 4294967000.0);
    EXPECT_EQ(num(r.trace[79], "tick"), std::fmod(4294967000.0 + 79 * 16, 4294967296.0));
    // 1001 ms after the first frame: frames 2 .. 63 counted.
    EXPECT_EQ(num(r.trace[62], "fps"), 0.0);
    EXPECT_EQ(num(r.trace[63], "fps"), 62.0);
    EXPECT_EQ(num(r.trace[79], "clip.current"), 4.0);  // the clock runs across the wrap
}

TEST_F(Headless, F1ShowsTheHelpLinesAndNoSkeleton) {
    const std::string script = "100 capture " + path("skeleton.png") + "\n" + "200 key F1\n" +
                               "300 capture " + path("help.png") + "\n" + "400 close\n";
    const Result r = run(script);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(flag(at(r, 150), "help"));
    EXPECT_TRUE(flag(at(r, 250), "help"));
    EXPECT_LT(r.trace.size(), 30u);  // closed by the script

    const PngImage skeleton = image("skeleton.png");
    const PngImage help = image("help.png");
    ASSERT_EQ(skeleton.width, 484);
    ASSERT_EQ(skeleton.height, 461);
    const auto grey = [](const PngImage::Pixel& p) {
        return p.r == 125 && p.g == 125 && p.b == 125;
    };
    EXPECT_TRUE(grey(skeleton.at(470, 450)));
    EXPECT_TRUE(grey(help.at(470, 450)));
    // The frame rate in the top-left corner on both.
    EXPECT_GT(skeleton.count(8, 8, 100, 30, isWhite), 15);
    EXPECT_GT(help.count(8, 8, 100, 30, isWhite), 15);
    // The first help line ("F1: Toggle Help" at y 50) only with help.
    EXPECT_EQ(skeleton.count(8, 45, 150, 72, isWhite), 0);
    EXPECT_GT(help.count(8, 45, 150, 72, isWhite), 30);
    // The last help line ends near y 280; below it only the skeleton's legs are white.
    EXPECT_GT(skeleton.count(0, 300, 484, 461, isWhite), 20);
    EXPECT_EQ(help.count(0, 300, 484, 461, isWhite), 0);
}

TEST_F(Headless, KeysChangeTempoInterpolationAndTheClip) {
    const Result r =
        run("50 key ADD\n"
            "100 key ADD\n"
            "150 key SUBTRACT\n"
            "200 key A\n"
            "300 key A\n"
            "400 key S\n"
            "500 key R\n"
            "600 key W\n"
            "700 close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(num(at(r, 0), "clip.periodMs"), 300.0);
    EXPECT_EQ(num(at(r, 60), "clip.periodMs"), 295.0);
    EXPECT_EQ(num(at(r, 110), "clip.periodMs"), 290.0);
    EXPECT_EQ(num(at(r, 160), "clip.periodMs"), 295.0);
    EXPECT_TRUE(flag(at(r, 190), "clip.interpolate"));
    EXPECT_FALSE(flag(at(r, 210), "clip.interpolate"));
    EXPECT_TRUE(flag(at(r, 310), "clip.interpolate"));
    const JsonFields& walk = at(r, 380);
    EXPECT_GT(num(walk, "clip.current"), 0.0);
    const JsonFields& stand = at(r, 410);
    EXPECT_EQ(num(stand, "clip.frames"), 1.0);
    EXPECT_EQ(num(stand, "clip.current"), 0.0);
    EXPECT_EQ(num(stand, "clip.next"), 0.0);
    const double runFrames = num(at(r, 510), "clip.frames");
    EXPECT_GE(runFrames, 16.0);
    EXPECT_LE(runFrames, 24.0);
    EXPECT_EQ(num(at(r, 610), "clip.frames"), num(walk, "clip.frames"));
}

TEST_F(Headless, ALeftDragTurnsTheEyeAboutZAndARightDragZooms) {
    const Result r =
        run("100 lbuttondown 250 250\n"
            "100 mousemove 250 250\n"
            "116 mousemove 220 250\n"  // 16 ms later, inside the 20 ms gate: dx = 30
            "132 lbuttonup 220 250\n"
            // Long after the last re-centring: this move pulls the cursor back to the
            // window's point (250, 250), whose echo arrives at client (242, 219) and is
            // skipped; the next move is measured from there.
            "300 rbuttondown 250 250\n"
            "300 mousemove 250 250\n"
            "316 mousemove 242 209\n"  // 10 px up: 2 units closer
            "332 rbuttonup 242 209\n"
            "400 close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const JsonFields& turned = at(r, 200);
    const double theta = -30.0 / 300.0;
    EXPECT_NEAR(num(turned, "eye.0"), -100.0 * std::cos(theta), 1e-3);
    EXPECT_NEAR(num(turned, "eye.1"), -100.0 * std::sin(theta), 1e-3);
    EXPECT_EQ(num(turned, "eye.2"), 0.0);
    const JsonFields& zoomed = at(r, 380);
    EXPECT_NEAR(std::hypot(num(zoomed, "eye.0"), num(zoomed, "eye.1")), 98.0, 1e-3);
    EXPECT_NEAR(std::atan2(num(zoomed, "eye.1"), num(zoomed, "eye.0")),
                std::atan2(num(turned, "eye.1"), num(turned, "eye.0")), 1e-5);
}

TEST_F(Headless, EscapeEndsTheRunWithStatusZero) {
    const Result r = run("50 key ESCAPE\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.trace.size(), 4u);  // frames at 0, 16, 32 and 48 ms
}

TEST_F(Headless, MissingClipFilesAreReportedAndTheProgramRuns) {
    const Result r =
        run("16 capture " + path("empty.png") + "\n32 key R\n", "--frames 5", dir.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("walk.smd"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("run.smd"), std::string::npos) << r.err;
    ASSERT_EQ(r.trace.size(), 5u);
    EXPECT_EQ(num(r.trace[4], "clip.frames"), 0.0);
    const PngImage img = image("empty.png");
    EXPECT_GT(img.count(8, 8, 100, 30, isWhite), 15);    // the frame rate
    EXPECT_GT(img.count(8, 50, 300, 70, isWhite), 40);   // the message naming walk.smd
    EXPECT_EQ(img.count(0, 100, 484, 461, isWhite), 0);  // nothing else
}

// Every clip key reads its file again; what the program says about a file is
// said once per run. Roots only: nothing to draw; a chain deeper than a line:
// the deepest bone named; a wide, shallow skeleton: nothing to say.
TEST_F(Headless, AFileIsReportedOnceHoweverOftenItIsLoaded) {
    auto skeleton = [](int bones, int roots, bool chain) {
        std::string s = "version 1\nnodes\n", keys;
        for (int b = 0; b < bones; ++b) {
            const int parent = b < roots ? -1 : (chain ? b - 1 : 0);
            s += std::to_string(b) + " \"b" + std::to_string(b) + "\" " + std::to_string(parent) +
                 "\n";
            keys += std::to_string(b) + " 0 0 1 0 0 0\n";
        }
        return s + "end\nskeleton\ntime 0\n" + keys + "end\n";
    };
    std::ofstream(path("walk.smd")) << skeleton(2, 2, false);
    std::ofstream(path("run.smd")) << skeleton(70, 1, true);
    std::ofstream(path("barney.smd")) << skeleton(120, 1, false);
    const Result r = run("32 key R\n64 key W\n96 key S\n128 key R\n160 key W\n192 key S\n",
                         "--frames 14", dir.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "walk.smd: nothing to draw: every bone is a root\n"
              "run.smd: warning: bone 69 \"b69\" lies 69 bones below its root; each bone's line "
              "is drawn with at most 68 segments, so the deepest chains are cut\n");
}

// A pole `height` units tall: four bones up +Z from a root.
std::string pole(float height) {
    std::string s = "version 1\nnodes\n0 \"root\" -1\n", keys = "0 0 0 0 0 0 0\n";
    for (int b = 1; b <= 4; ++b) {
        s += std::to_string(b) + " \"b" + std::to_string(b) + "\" " + std::to_string(b - 1) + "\n";
        keys += std::to_string(b) + " 0 0 " + std::to_string(height / 4) + " 0 0 0\n";
    }
    return s + "end\nskeleton\ntime 0\n" + keys + "time 1\n" + keys + "end\n";
}

// articulated FILE.smd plays that file with the camera fitted to its first
// frame: a 1-unit rig and a 200-unit one both fill about two thirds of the
// height. W still loads walk.smd from the working directory.
TEST_F(Headless, AFileGivenIsSeenWholeWhateverItsSize) {
    for (float height : {1.0f, 200.0f}) {
        std::ofstream(path("figure.smd"), std::ios::binary) << pole(height);
        const Result r = run("20 capture " + path("figure.png") + "\n40 key W\n",
                             "--frames 4 " + path("figure.smd"));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        ASSERT_EQ(r.trace.size(), 4u);
        EXPECT_EQ(num(r.trace[0], "clip.frames"), 2.0);
        EXPECT_GT(num(r.trace[3], "clip.frames"), 2.0);  // walk.smd
        const PngImage img = image("figure.png");
        auto drawn = [](const PngImage::Pixel& p) { return std::abs(p.r - 125) > 30; };
        int top = img.height, bottom = -1;
        for (int y = 40; y < 430; ++y)  // between the frame-rate text and the status line
            if (img.count(0, y, img.width, y + 1, drawn) > 0) {
                top = std::min(top, y);
                bottom = y;
            }
        const double filled = static_cast<double>(bottom - top + 1) / img.height;
        EXPECT_NEAR(filled, 2.0 / 3.0, 0.08) << height << " units: rows " << top << ".." << bottom;
    }
}

TEST_F(Headless, BadOptionsAndDataFailWithAReason) {
    Result r = run("", "--frames 0");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--frames"), std::string::npos) << r.err;
    r = run("10 key NOPE\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("script.txt:1:"), std::string::npos) << r.err;
    r = run("", "--frames 1", path("no-such-dir"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no-such-dir"), std::string::npos) << r.err;
}

}  // namespace

namespace {

// A run never ends as a success without the outputs it was asked for, and a
// script decides how long a headless run lasts unless --frames says otherwise.
TEST_F(Headless, ExitsTellWhetherTheRunDidWhatItWasAskedFor) {
    Result r = run("", "--frames 2 --capture " + path("no-such-dir/x.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-dir/x.png"), std::string::npos) << r.err;

    r = run("16 capture " + path("no-such-dir/y.png") + "\n", "--frames 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-dir/y.png"), std::string::npos) << r.err;

    // Past the default 600 frames: the run lasts until its last event and one frame.
    r = run("12000 capture " + path("late.png") + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.trace.size(), 751u);  // frames at 0, 16, ..., 12000 ms
    EXPECT_EQ(image("late.png").width, 484);

    // --frames cuts it short: said, and the capture it never reached fails the run.
    r = run("100 key A\n12000 capture " + path("never.png") + "\n", "--frames 10");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("1 event was never reached"), std::string::npos) << r.err;
    r = run("100 key A\n12000 key A\n", "--frames 10");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("1 event was never reached"), std::string::npos) << r.err;

    r = run("2000 key F1\n100 close\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("script.txt:2: time 100 is earlier"), std::string::npos) << r.err;
}

}  // namespace

// A clip of `frames` frames: a root and one bone swinging about Z.
std::string swingClip(int frames) {
    std::string s = "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\nend\nskeleton\n";
    for (int f = 0; f < frames; ++f)
        s += "time " + std::to_string(f) + "\n0 0 0 0 0 0 " + std::to_string(0.1 * f) +
             "\n1 10 0 0 0 0 0\n";
    return s + "end\n";
}

// A file plays at 30 frames per second on the viewer's clock (frame k shows
// from k * 33.3 ms on), or at --fps; without a file the design's 300 ms stay,
// --fps changes them, and ikreach, which plays no clip, refuses --fps.
TEST_F(Headless, FilesPlayAtTheirAuthoredRateOrAtFps) {
    std::ofstream(path("clip.smd"), std::ios::binary) << swingClip(40);
    Result r = run("", "--frames 80 " + path("clip.smd"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const JsonFields& f : r.trace) {
        EXPECT_NEAR(num(f, "clip.periodMs"), 1000.0 / 30, 1e-6);
        // Frame k shows from k * 33.3 ms on (whole-number instants, 400 ms, may
        // fall either side of the sum of the frame times: not checked).
        const double frames = (num(f, "tick") - num(r.trace[0], "tick")) * 30 / 1000;
        if (std::abs(frames - std::round(frames)) < 1e-6) continue;
        EXPECT_EQ(num(f, "clip.current"), std::fmod(std::floor(frames), 40.0)) << frames;
        EXPECT_FALSE(flag(f, "paused"));
    }
    r = run("", "--frames 80 --fps 12 " + path("clip.smd"));
    EXPECT_NEAR(num(r.trace[0], "clip.periodMs"), 1000.0 / 12, 1e-6);
    EXPECT_EQ(num(at(r, 1008), "clip.current"), 12.0);  // 1008 ms: the 13th frame (0-based 12)
    r = run("", "--frames 2");
    EXPECT_EQ(num(r.trace[0], "clip.periodMs"), 300.0);
    r = run("", "--frames 2 --fps 20");
    EXPECT_EQ(num(r.trace[0], "clip.periodMs"), 50.0);
    r = run("", "--frames 2 --fps 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--fps"), std::string::npos) << r.err;
}

// Space pauses (on the frame shown), Left and Right step and wrap while paused
// and do nothing while playing, Home goes to frame 0; the status line says so.
TEST_F(Headless, PauseStepAndHomeThroughAScript) {
    std::ofstream(path("clip.smd"), std::ios::binary) << swingClip(5);
    const Result r =
        run("100 key SPACE\n200 key RIGHT\n300 key RIGHT\n400 key HOME\n"
            "500 key LEFT\n550 key RIGHT\n600 capture " +
                path("paused.png") + "\n700 key SPACE\n800 key RIGHT\n",
            "--frames 60 " + path("clip.smd"));
    ASSERT_EQ(r.status, 0) << r.err;
    // The key comes before the frame at 112 ms; the frame shown then, at 96 ms, was 2.
    const double pausedAt = num(at(r, 100), "clip.current");
    EXPECT_EQ(pausedAt, 2.0);
    EXPECT_TRUE(flag(at(r, 100), "paused"));
    EXPECT_FALSE(flag(at(r, 90), "paused"));
    EXPECT_EQ(num(at(r, 190), "clip.current"), pausedAt);  // time passes, the frame stays
    EXPECT_EQ(num(at(r, 200), "clip.current"), 3.0);
    EXPECT_EQ(num(at(r, 300), "clip.current"), 4.0);
    EXPECT_EQ(num(at(r, 300), "clip.next"), 0.0);
    EXPECT_EQ(num(at(r, 400), "clip.current"), 0.0);
    EXPECT_EQ(num(at(r, 500), "clip.current"), 4.0);  // back from 0 to the last
    EXPECT_EQ(num(at(r, 500), "clip.elapsedMs"), 0.0);
    EXPECT_EQ(num(at(r, 550), "clip.current"), 0.0);  // on from the last to 0
    EXPECT_FALSE(flag(at(r, 700), "paused"));
    const double playing = num(at(r, 800), "clip.current");
    EXPECT_EQ(num(at(r, 816), "clip.current"), playing);  // Right does nothing while playing
    // The status line at the foot shows paused; the middle of the window the figure.
    const PngImage img = image("paused.png");
    EXPECT_GT(img.count(8, 430, 480, 455, isWhite), 200);
    EXPECT_GT(img.count(0, 100, 484, 420, isWhite), 20);
}

// A file that cannot be shown says why in the picture itself.
TEST_F(Headless, EmptyAndCorruptFilesSayWhyInTheWindow) {
    std::ofstream(path("empty.smd"), std::ios::binary) << "";
    std::ofstream(path("corrupt.smd"), std::ios::binary)
        << "version 1\nnodes\n0 \"a\" -1\nend\nskeleton\ntime 0\n0 0 0 zero 0 0 0\nend\n";
    for (const char* name : {"empty", "corrupt"}) {
        const Result r = run("50 capture " + path(std::string(name) + ".png") + "\n",
                             "--frames 5 " + path(std::string(name) + ".smd"));
        EXPECT_EQ(r.status, 0) << r.err;
        if (std::string(name) == "empty") {
            EXPECT_NE(r.err.find("empty.smd:1:1: error: file is empty"), std::string::npos)
                << r.err;
        }
        const PngImage img = image(std::string(name) + ".png");
        EXPECT_GT(img.count(8, 50, 300, 70, isWhite), 60) << name;   // the message's first line
        EXPECT_EQ(img.count(0, 100, 484, 420, isWhite), 0) << name;  // no figure
    }
}

// A file with several roots is drawn with each root where the file puts it:
// a detached chain far off to the side shows there, not at the first root.
TEST_F(Headless, SeveralRootsAreDrawnInTheirPlaces) {
    std::ofstream(path("roots.smd"), std::ios::binary)
        << "version 1\nnodes\n0 \"body\" -1\n1 \"spine\" 0\n2 \"prop\" -1\n3 \"tip\" 2\nend\n"
           "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 0 0 30 0 0 0\n2 0 40 0 0 0 0\n3 0 0 30 0 0 0\n"
           "end\n";
    const Result r =
        run("20 capture " + path("roots.png") + "\n", "--frames 3 " + path("roots.smd"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Two poles 40 apart along Y, seen across Y (the side that shows them widest):
    // white in the left and in the right third of the picture.
    const JsonFields& f = r.trace[0];
    EXPECT_NE(num(f, "eye.0"), num(f, "target.0"));  // looks along X: the poles spread in Y
    EXPECT_EQ(num(f, "target.1"), 20.0);
    const PngImage img = image("roots.png");
    EXPECT_GT(img.count(0, 40, 200, 430, isWhite), 20);
    EXPECT_GT(img.count(284, 40, 484, 430, isWhite), 20);
    EXPECT_EQ(img.count(200, 40, 284, 430, isWhite), 0);
}
