// The SMD reader on tiny hand-made files: the grammar, how frames are
// delimited, the failure rules, the repairs and the oddities of real exporters.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/smd.h"

namespace {

struct Loaded {
    Model model;
    SmdLoadResult result;
};

Loaded load(const std::string& text) {
    Loaded l;
    l.result = loadSmdFromMemory(l.model, text);
    return l;
}

// A compact picture of a model: bones with parents, keys per frame, triangles.
std::string shape(const Model& m) {
    std::string s = "bones";
    for (const Bone& b : m.bones) s += std::string(" ") + b.name + ":" + std::to_string(b.parent);
    s += " | frames";
    for (const Frame& f : m.frames) s += " " + std::to_string(f.size());
    s += " | triangles";
    for (const Triangle& t : m.triangles) s += std::string(" ") + t.material;
    return s;
}

std::string problems(const SmdLoadResult& r) {
    return describeSmdLoad("f", r);
}

size_t countSeverity(const SmdLoadResult& r, SmdProblem::Severity s) {
    size_t n = 0;
    for (const SmdProblem& p : r.problems) n += p.severity == s;
    return n;
}

const char* statusName(SmdStatus s) {
    switch (s) {
        case SmdStatus::Loaded:
            return "Loaded";
        case SmdStatus::Repaired:
            return "Repaired";
        case SmdStatus::CannotOpen:
            return "CannotOpen";
        case SmdStatus::WrongFirstLine:
            return "WrongFirstLine";
        case SmdStatus::Malformed:
            return "Malformed";
    }
    return "?";
}

const char kSmall[] =
    "version 1\n"
    "nodes\n"
    "0 \"pelvis\" -1\n"
    "1 \"left thigh\" 0\n"
    "end\n"
    "skeleton\n"
    "time 0\n"
    "0 1.5 -2 3e-1 0.25 -0.5 .75\n"
    "1 0 0 -10 0 0 1.570796\n"
    "end\n"
    "triangles\n"
    "skin.bmp\n"
    "0 1 2 3 0 0 1 0.5 0.25\n"
    "1 4 5 6 0 1 0 1 1\n"
    "0 7 8 9 1 0 0 0 0\n"
    "end\n";

TEST(SmdReader, ReadsEveryFieldOfAWellFormedFile) {
    Loaded l = load(kSmall);
    EXPECT_EQ(l.result.status, SmdStatus::Loaded) << problems(l.result);
    EXPECT_TRUE(l.result.problems.empty());
    EXPECT_EQ(shape(l.model), "bones pelvis:-1 left thigh:0 | frames 2 | triangles skin.bmp");
    const BoneKey& k = l.model.frames[0][0];
    EXPECT_EQ(k.x, 1.5f);
    EXPECT_EQ(k.y, -2.0f);
    EXPECT_EQ(k.z, 0.3f);
    EXPECT_EQ(k.rx, 0.25f);
    EXPECT_EQ(k.ry, -0.5f);
    EXPECT_EQ(k.rz, 0.75f);
    EXPECT_EQ(l.model.frames[0][1].z, -10.0f);
    EXPECT_EQ(l.model.frames[0][1].rz, 1.570796f);
    const Triangle& t = l.model.triangles[0];
    EXPECT_EQ(t.corners[0].bone, 0);
    EXPECT_EQ(t.corners[1].bone, 1);
    const MeshVertex& c = t.corners[0];
    EXPECT_EQ((std::vector<float>{c.px, c.py, c.pz, c.nx, c.ny, c.nz, c.u, c.v}),
              (std::vector<float>{1, 2, 3, 0, 0, 1, 0.5f, 0.25f}));
    EXPECT_EQ(t.corners[2].pz, 9.0f);
}

// Loading replaces the whole content; a file that cannot be opened leaves the
// model as it was, a wrong first line leaves it empty.
TEST(SmdReader, FailureRulesForTheTargetModel) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("smd_reader_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string good = (dir / "good.smd").string();
    const std::string bad = (dir / "bad.smd").string();
    std::ofstream(good, std::ios::binary) << kSmall;
    std::ofstream(bad, std::ios::binary) << "version 2\nnodes\n0 \"a\" -1\nend\n";

    Model m;
    EXPECT_EQ(loadSmd(m, good.c_str()).status, SmdStatus::Loaded);
    const std::string before = shape(m);
    for (const std::string& missing : {(dir / "missing.smd").string(), dir.string()}) {
        SmdLoadResult r = loadSmd(m, missing.c_str());
        EXPECT_EQ(r.status, SmdStatus::CannotOpen) << missing;
        EXPECT_EQ(countSeverity(r, SmdProblem::Severity::Error), 1u);
        EXPECT_EQ(shape(m), before) << missing;
    }
    EXPECT_EQ(loadSmd(m, nullptr).status, SmdStatus::CannotOpen);
    EXPECT_EQ(shape(m), before);

    SmdLoadResult r = loadSmd(m, bad.c_str());
    EXPECT_EQ(r.status, SmdStatus::WrongFirstLine);
    EXPECT_EQ(shape(m), "bones | frames | triangles");
    EXPECT_EQ(describeSmdLoad("bad.smd", r),
              "bad.smd:1:1: error: first line is 'version 2', expected 'version 1'\n");

    // Reloading a smaller file replaces everything.
    EXPECT_EQ(loadSmd(m, good.c_str()).status, SmdStatus::Loaded);
    Loaded small = load("version 1\nnodes\n0 \"x\" -1\nend\n");
    m = small.model;
    EXPECT_EQ(shape(m), "bones x:-1 | frames | triangles");
    std::filesystem::remove_all(dir);
}

struct FirstLineCase {
    const char* firstLine;
    bool accepted;
};

TEST(SmdReader, FirstLineIsComparedWhole) {
    const FirstLineCase cases[] = {
        {"version 1\n", true},      {"VERSION 1\n", true},    {"Version 1\r\n", true},
        {"version 1", true},        {"version 1 \n", false},  {" version 1\n", false},
        {"version  1\n", false},    {"version 2\n", false},   {"version 10\n", false},
        {"version\t1\n", false},    {"\nversion 1\n", false}, {"", false},
        {"version 1\r\r\n", false},
    };
    for (const FirstLineCase& c : cases) {
        Model m;
        m.bones.resize(3);
        std::string text = c.firstLine;
        if (text.ends_with("\n")) text += "nodes\n0 \"a\" -1\nend\n";
        SmdLoadResult r = loadSmdFromMemory(m, text);
        if (c.accepted) {
            EXPECT_NE(r.status, SmdStatus::WrongFirstLine) << c.firstLine;
        } else {
            EXPECT_EQ(r.status, SmdStatus::WrongFirstLine) << '"' << c.firstLine << '"';
            EXPECT_TRUE(m.bones.empty());
        }
    }
}

struct ShapeCase {
    const char* name;
    const char* body;  // everything after "version 1\n"
    const char* shape;
    SmdStatus status;
};

// How the token stream builds bones, frames and triangles.
TEST(SmdReader, GrammarAndFrameDelimiting) {
    const ShapeCase cases[] = {
        {"names with blanks and empty names",
         "nodes\n0 \"left upper arm\" -1\n1 \"\" 0\n2 \"  \" 1\nend\n",
         "bones left upper arm:-1 :0   :1 | frames | triangles", SmdStatus::Loaded},
        {"keywords in any letter case",
         "NODES\n0 \"a\" -1\nEND\nSkeleton\nTIME 0\n0 0 0 0 0 0 0\nTime 1\n0 0 0 0 0 0 0\neNd\n"
         "TRIANGLES\nm\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\nEnd\n",
         "bones a:-1 | frames 1 1 | triangles m", SmdStatus::Loaded},
        {"line breaks mean nothing between tokens",
         "nodes 0 \"a\" -1 1\n\"b\"\n0 end skeleton time 0 0 1 2 3 4 5 6 1 1 2 3 4 5 6 end",
         "bones a:-1 b:0 | frames 2 | triangles", SmdStatus::Loaded},
        {"CRLF line ends",
         "nodes\r\n0 \"a\" -1\r\nend\r\nskeleton\r\ntime 0\r\n0 1 2 3 4 5 6\r\nend\r\n",
         "bones a:-1 | frames 1 | triangles", SmdStatus::Loaded},
        {"sections in any order, repeated sections append",
         "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 0 0 0 0 0 0\nend\nnodes\n0 \"a\" -1\nend\n"
         "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 0 0 0 0 0 0\ntime 1\n0 0 0 0 0 0 0\n"
         "1 0 0 0 0 0 0\nend\nnodes\n0 \"b\" 0\nend\n",
         "bones a:-1 b:0 | frames 2 2 2 | triangles", SmdStatus::Loaded},
        {"an empty time block in the middle appends an empty frame",
         "skeleton\ntime 0\n0 0 0 0 0 0 0\ntime 1\ntime 2\n0 0 0 0 0 0 0\nend\n",
         "bones | frames 1 0 1 | triangles", SmdStatus::Loaded},
        {"an empty first time block followed by another appends an empty frame",
         "skeleton\ntime 0\ntime 1\n0 0 0 0 0 0 0\nend\n", "bones | frames 0 1 | triangles",
         SmdStatus::Loaded},
        {"end right after the first time appends no frame", "skeleton\ntime 0\nend\n",
         "bones | frames | triangles", SmdStatus::Loaded},
        {"a trailing empty time block appends no frame",
         "skeleton\ntime 0\n0 0 0 0 0 0 0\ntime 1\nend\n", "bones | frames 1 | triangles",
         SmdStatus::Loaded},
        {"frame numbers and the first two words are not examined",
         "skeleton\nfoo bar\n0 0 0 0 0 0 0\ntime 7\n0 0 0 0 0 0 0\n1 0 0 0 0 0 0\ntime 3\n"
         "0 0 0 0 0 0 0\nend\n",
         "bones | frames 1 2 1 | triangles", SmdStatus::Loaded},
        {"an empty file body", "", "bones | frames | triangles", SmdStatus::Loaded},
        {"empty sections", "nodes\nend\nskeleton\ntime 0\nend\ntriangles\nend\n",
         "bones | frames | triangles", SmdStatus::Loaded},
        {"a blank line after the header, indentation, double blanks, no final line break",
         "\nnodes\n  0 \"a\"  -1\nend\nskeleton\ntime 0\n  0  0 0 0  0 0 0\nend\ntriangles\n"
         "none.quak\n0  0 0 0 1 1 1 0 0\n0  1 0 0 1 1 1 1 0\n0  1 1 0 1 1 1 1 1\nend",
         "bones a:-1 | frames 1 | triangles none.quak", SmdStatus::Loaded},
        {"several corners on one line are plain tokens, not weight links",
         "nodes\n0 \"a\" -1\n1 \"b\" 0\n2 \"c\" 0\n3 \"d\" 0\n4 \"e\" 0\nend\ntriangles\nm\n"
         "0 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2\n1 3 3 3 3 3 3 3 3\nm 0 1 1 1 1 1 1 1 1 0 2 2 2 2 2 "
         "2 2 2 "
         "0 3 3 3 3 3 3 3 3\nm\n0 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 0 3 3 3 3 3 3 3 3\nend\n",
         "bones a:-1 b:0 c:0 d:0 e:0 | frames | triangles m m m", SmdStatus::Loaded},
    };
    for (const ShapeCase& c : cases) {
        Loaded l = load(std::string("version 1\n") + c.body);
        EXPECT_EQ(shape(l.model), c.shape) << c.name;
        EXPECT_EQ(l.result.status, c.status)
            << c.name << ": " << statusName(l.result.status) << "\n"
            << problems(l.result);
    }
}

TEST(SmdReader, KeysAndBonesAreNumberedByPosition) {
    Loaded l = load(
        "version 1\nnodes\n7 \"a\" -1\n3 \"b\" 0\nend\nskeleton\ntime 9\n9 1 1 1 1 1 1\n"
        "0 2 2 2 2 2 2\ntime 2\n1 3 3 3 3 3 3\n1 4 4 4 4 4 4\nend\n");
    EXPECT_EQ(shape(l.model), "bones a:-1 b:0 | frames 2 2 | triangles");
    EXPECT_EQ(l.model.frames[0][0].x, 1.0f);
    EXPECT_EQ(l.model.frames[0][1].x, 2.0f);
    EXPECT_EQ(l.model.frames[1][0].x, 3.0f);
    EXPECT_EQ(l.model.frames[1][1].x, 4.0f);
    EXPECT_EQ(l.result.status, SmdStatus::Loaded);
    // Both mismatching index kinds are reported once each, as warnings.
    EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Warning), 2u) << problems(l.result);
    EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Error), 0u);
}

struct StopCase {
    const char* name;
    const char* body;
    const char* shape;  // what is kept
    const char* error;  // the error line describeSmdLoad gives
};

// Reading always ends; what was read completely before the stop is kept, and
// the error names the place.
TEST(SmdReader, StopsAtTheFirstSyntaxErrorAndKeepsWhatWasRead) {
    const std::string longWord(1000, 'w');
    const std::string longName = "nodes\n0 \"" + std::string(1000, 'n') + "\" -1\nend\n";
    const std::string longWordBody = "triangles\n" + longWord + "\n";
    const StopCase cases[] = {
        {"unknown top-level word", "nodes\n0 \"a\" -1\nend\nbogus\nnodes\n0 \"b\" 0\nend\n",
         "bones a:-1 | frames | triangles", "f:5:1: error: unknown section 'bogus'"},
        {"end of file inside nodes", "nodes\n0 \"a\" -1\n1 \"b\"",
         "bones a:-1 | frames | triangles", "f:4:6: error: end of file inside the 'nodes' section"},
        {"end of file inside a frame keeps the frame's complete keys",
         "skeleton\ntime 0\n0 0 0 0 0 0 0\ntime 1\n0 1 1 1 1 1 1\n1 2 2",
         "bones | frames 1 1 | triangles",
         "f:7:6: error: end of file inside the 'skeleton' section"},
        {"end of file right after the first time", "skeleton\ntime 0\n",
         "bones | frames | triangles", "f:4:1: error: end of file inside the 'skeleton' section"},
        {"end of file inside a triangle drops it",
         "triangles\nm\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\nm\n0 0 0",
         "bones | frames | triangles m",
         "f:8:6: error: end of file inside the 'triangles' section"},
        {"a key number that does not parse",
         "skeleton\ntime 0\n0 0 0 0 0 0 0\ntime 1\n0 0 0 0x10 0 0 0\nend\n",
         "bones | frames 1 0 | triangles", "f:6:7: error: expected a number, found '0x10'"},
        {"a missing corner value runs into the next word",
         "triangles\nm\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\nend\n",
         "bones | frames | triangles", "f:7:1: error: expected a number, found 'end'"},
        {"a parent that is not an integer", "nodes\n0 \"a\" -1\n1 \"b\" root\nend\n",
         "bones a:-1 | frames | triangles", "f:4:7: error: expected an integer, found 'root'"},
        {"a bone name without a closing quote", "nodes\n0 \"a\" -1\n1 \"b -1\nend\n",
         "bones a:-1 | frames | triangles", "f:4:3: error: bone name is not closed"},
        {"a bone name of 1000 characters", longName.c_str(), "bones | frames | triangles",
         "f:3:3: error: bone name longer than 999 characters"},
        {"a word of 1000 characters", longWordBody.c_str(), "bones | frames | triangles",
         "f:3:1: error: word longer than 999 characters"},
        {"a text of binary garbage", "\x01\x02\xff\x00\x7f", "bones | frames | triangles",
         "f:2:1: error: unknown section"},
    };
    for (const StopCase& c : cases) {
        Loaded l = load(std::string("version 1\n") + c.body);
        EXPECT_EQ(l.result.status, SmdStatus::Malformed) << c.name;
        EXPECT_EQ(shape(l.model), c.shape) << c.name;
        EXPECT_NE(problems(l.result).find(c.error), std::string::npos) << c.name << "\n"
                                                                       << problems(l.result);
        EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Error), 1u) << c.name;
    }
    // 999 characters still fit (and are cut to the field).
    Loaded ok = load("version 1\nnodes\n0 \"" + std::string(999, 'n') + "\" -1\nend\ntriangles\n" +
                     std::string(999, 'm') + "\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n" +
                     "0 0 0 0 0 0 0 0 0\nend\n");
    EXPECT_EQ(ok.result.status, SmdStatus::Repaired) << problems(ok.result);
    EXPECT_EQ(std::string(ok.model.bones[0].name), std::string(63, 'n'));
    EXPECT_EQ(std::string(ok.model.triangles[0].material), std::string(31, 'm'));
}

struct RepairCase {
    const char* name;
    const char* body;
    const char* shape;
    SmdStatus status;
    size_t errors, warnings;
};

// Whatever the file says, the model handed out can be evaluated safely.
TEST(SmdReader, RepairsMakeEveryModelSafe) {
    const RepairCase cases[] = {
        {"parents out of range become roots",
         "nodes\n0 \"a\" -1\n1 \"b\" 4\n2 \"c\" -2\n3 \"d\" 99999999999\nend\n",
         "bones a:-1 b:-1 c:-1 d:-1 | frames | triangles", SmdStatus::Repaired, 3, 0},
        {"a bone that is its own parent", "nodes\n0 \"a\" 0\nend\n",
         "bones a:-1 | frames | triangles", SmdStatus::Repaired, 1, 0},
        {"a cycle is cut at its lowest bone",
         "nodes\n0 \"r\" -1\n1 \"a\" 3\n2 \"b\" 1\n3 \"c\" 2\n4 \"d\" 3\nend\n",
         "bones r:-1 a:-1 b:1 c:2 d:3 | frames | triangles", SmdStatus::Repaired, 1, 0},
        {"two cycles, two cuts", "nodes\n0 \"a\" 1\n1 \"b\" 0\n2 \"c\" 3\n3 \"d\" 2\nend\n",
         "bones a:-1 b:0 c:-1 d:2 | frames | triangles", SmdStatus::Repaired, 2, 0},
        {"forward references without a cycle are fine",
         "nodes\n0 \"a\" 2\n1 \"b\" -1\n2 \"c\" 1\nend\n",
         "bones a:2 b:-1 c:1 | frames | triangles", SmdStatus::Loaded, 0, 0},
        {"frames with too few keys are completed",
         "nodes\n0 \"a\" -1\n1 \"b\" 0\n2 \"c\" 1\nend\nskeleton\ntime 0\n0 1 1 1 1 1 1\n"
         "time 1\n0 2 2 2 2 2 2\n1 3 3 3 3 3 3\n2 4 4 4 4 4 4\ntime 2\ntime 3\n0 5 5 5 5 5 "
         "5\nend\n",
         "bones a:-1 b:0 c:1 | frames 3 3 3 3 | triangles", SmdStatus::Repaired, 0, 3},
        {"extra keys are kept and not a repair",
         "nodes\n0 \"a\" -1\nend\nskeleton\ntime 0\n0 1 1 1 1 1 1\n1 2 2 2 2 2 2\nend\n",
         "bones a:-1 | frames 2 | triangles", SmdStatus::Loaded, 0, 1},
        {"corners on missing bones go to bone 0",
         "nodes\n0 \"a\" -1\nend\ntriangles\nm\n0 0 0 0 0 0 0 0 0\n1 0 0 0 0 0 0 0 0\n"
         "-1 0 0 0 0 0 0 0 0\nend\n",
         "bones a:-1 | frames | triangles m", SmdStatus::Repaired, 0, 2},
        {"non-finite numbers read as 0",
         "nodes\n0 \"a\" -1\nend\nskeleton\ntime 0\n0 nan inf -inf 1e999 -1e39 INFINITY\nend\n",
         "bones a:-1 | frames 1 | triangles", SmdStatus::Repaired, 6, 0},
        {"numbers beyond 1e9 read as 0; 1e9 itself is kept",
         "nodes\n0 \"a\" -1\nend\nskeleton\ntime 0\n0 3e38 -1.0000001e9 1e10 1e9 -1e9 0\nend\n",
         "bones a:-1 | frames 1 | triangles", SmdStatus::Repaired, 3, 0},
        {"tiny numbers underflow quietly", "skeleton\ntime 0\n0 1e-50 -1e-46 1e-45 0 0 0\nend\n",
         "bones | frames 1 | triangles", SmdStatus::Loaded, 0, 1},  // one key for no bone
        {"integers written with a fraction",
         "nodes\n0 \"a\" -1.000000\n1 \"b\" 0.0\nend\ntriangles\nm\n0.0 0 0 0 0 0 0 0 0\n"
         "0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\nend\n",
         "bones a:-1 b:0 | frames | triangles m", SmdStatus::Loaded, 0, 1},
        {"an integer with a real fraction is an error", "nodes\n0 \"a\" -0.5\nend\n",
         "bones | frames | triangles", SmdStatus::Malformed, 1, 0},
    };
    for (const RepairCase& c : cases) {
        Loaded l = load(std::string("version 1\n") + c.body);
        EXPECT_EQ(shape(l.model), c.shape) << c.name;
        EXPECT_EQ(l.result.status, c.status) << c.name << ": " << statusName(l.result.status);
        EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Error), c.errors)
            << c.name << "\n"
            << problems(l.result);
        EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Warning), c.warnings)
            << c.name << "\n"
            << problems(l.result);
        for (const Bone& b : l.model.bones) {
            EXPECT_GE(b.parent, -1) << c.name;
            EXPECT_LT(b.parent, static_cast<int32_t>(l.model.bones.size())) << c.name;
        }
        for (const Frame& f : l.model.frames) {
            EXPECT_GE(f.size(), l.model.bones.size()) << c.name;
            for (const BoneKey& k : f)
                for (float v : {k.x, k.y, k.z, k.rx, k.ry, k.rz}) EXPECT_TRUE(std::isfinite(v));
        }
    }
}

TEST(SmdReader, RepairedValuesAreTheDocumentedOnes) {
    Loaded l = load(
        "version 1\nnodes\n0 \"a\" -1\n1 \"b\" 0\nend\nskeleton\ntime 0\n0 1 1 1 1 1 1\n"
        "time 1\n0 2 2 2 2 2 2\n1 3 3 3 3 3 3\ntime 2\n0 nan 4 4 4 4 4\nend\n");
    ASSERT_EQ(shape(l.model), "bones a:-1 b:0 | frames 2 2 2 | triangles");
    EXPECT_EQ(l.model.frames[0][1].x, 0.0f);  // frame 0: zeros
    EXPECT_EQ(l.model.frames[0][1].rz, 0.0f);
    EXPECT_EQ(l.model.frames[2][1].x, 3.0f);  // later frames: the frame before
    EXPECT_EQ(l.model.frames[2][0].x, 0.0f);  // nan
    EXPECT_EQ(l.model.frames[2][0].y, 4.0f);
    EXPECT_NE(problems(l.result).find("f:13:3: error: 'nan' is not a finite number; read as 0"),
              std::string::npos)
        << problems(l.result);

    // A short frame after frame 0 takes the keys it lacks from the frame before,
    // every field of them, not zeros.
    l = load(
        "version 1\nnodes\n0 \"a\" -1\n1 \"b\" 0\nend\nskeleton\ntime 0\n0 1 1 1 1 1 1\n"
        "1 5 6 7 0.5 0.25 -2\ntime 1\n0 2 2 2 2 2 2\ntime 2\n0 3 3 3 3 3 3\n1 9 9 9 9 9 9\nend\n");
    ASSERT_EQ(shape(l.model), "bones a:-1 b:0 | frames 2 2 2 | triangles");
    const BoneKey& padded = l.model.frames[1][1];
    EXPECT_EQ(padded.x, 5.0f);
    EXPECT_EQ(padded.y, 6.0f);
    EXPECT_EQ(padded.z, 7.0f);
    EXPECT_EQ(padded.rx, 0.5f);
    EXPECT_EQ(padded.ry, 0.25f);
    EXPECT_EQ(padded.rz, -2.0f);
    EXPECT_EQ(l.model.frames[1][0].x, 2.0f);  // its own key stays
    EXPECT_EQ(l.model.frames[2][1].x, 9.0f);
}

// A file as exporters write it, with a comment header and a weighted mesh:
// the programs say nothing about either (they change nothing drawn), the full
// description lists both.
TEST(SmdReader, CommentsAndWeightLinksAreQuietFacts) {
    const std::string corner = "0 0 0 0 0 0 1 0 0 2 0 0.5 1 0.5\n";
    Loaded l = load(
        "// Created by a decompiler\n// another comment\nversion 1\nnodes\n"
        "0 \"a\" -1\n1 \"b\" 0\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n"
        "1 0 0 5 0 0 0\nend\ntriangles\nskin.bmp\n" +
        corner + corner + corner + "end\n");
    ASSERT_EQ(l.result.status, SmdStatus::Loaded) << problems(l.result);
    const std::string all = describeSmdLoad("f", l.result);
    EXPECT_NE(all.find("comment skipped (2 times"), std::string::npos) << all;
    EXPECT_NE(all.find("weight links"), std::string::npos) << all;
    EXPECT_EQ(describeSmdLoad("f", l.result, false), "");
}

// Magnitudes beyond 1e9 would let a chain's offsets sum to infinity (and a
// rotation then turn it into NaN) in the drawn strips.
TEST(SmdReader, NumbersBeyondTheModelRangeReadAsZero) {
    Loaded l = load(
        "version 1\nnodes\n0 \"a\" -1\nend\nskeleton\ntime 0\n"
        "0 3e38 -1e9 1000000001 1e9 -3.4028235e38 12.5\nend\n");
    ASSERT_EQ(shape(l.model), "bones a:-1 | frames 1 | triangles");
    const BoneKey& k = l.model.frames[0][0];
    EXPECT_EQ(k.x, 0.0f);
    EXPECT_EQ(k.y, -1e9f);
    EXPECT_EQ(k.z, 1e9f);  // 1000000001 is the float 1e9: inside the range
    EXPECT_EQ(k.rx, 1e9f);
    EXPECT_EQ(k.ry, 0.0f);
    EXPECT_EQ(k.rz, 12.5f);
    EXPECT_EQ(l.result.status, SmdStatus::Repaired);
    EXPECT_NE(problems(l.result).find("f:7:3: error: '3e38' lies beyond +-1e9; read as 0"),
              std::string::npos)
        << problems(l.result);
}

TEST(SmdReader, NamesAreCutToTheirFields) {
    const std::string n63(63, 'b'), n64 = std::string(63, 'b') + "c", m31(31, 'm'), m32(32, 'm');
    // "é" is two bytes: cutting after 63 bytes would split it.
    const std::string utf8 = std::string(62, 'x') + "\xC3\xA9" + "y";
    const std::string corners = "\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\n";
    Loaded l = load("version 1\nnodes\n0 \"" + n63 + "\" -1\n1 \"" + n64 + "\" 0\n2 \"" + utf8 +
                    "\" 0\nend\ntriangles\n" + m31 + corners + m32 + corners + "end\n");
    EXPECT_EQ(std::string(l.model.bones[0].name), n63);
    EXPECT_EQ(std::string(l.model.bones[1].name), n63);
    EXPECT_EQ(std::string(l.model.bones[2].name), std::string(62, 'x'));
    EXPECT_EQ(std::string(l.model.triangles[0].material), m31);
    EXPECT_EQ(std::string(l.model.triangles[1].material), m31);
    EXPECT_EQ(l.result.status, SmdStatus::Repaired);
    EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Warning), 3u) << problems(l.result);
}

// What exporters and hand editors write: accepted, with warnings only.
TEST(SmdReader, FilesRealToolsWrite) {
    const std::string plain =
        "version 1\nnodes\n0 \"root\" -1\n1 \"Bone\" -1\nend\nskeleton\ntime 0\n"
        "0 0 0 0 0 0 0\n1 0.5 0 0 1.570796 -0 0\nend\ntriangles\nmat\n"
        "0 1 -1 0 0 0 1 1 0\n0 -1 1 0 0 0 1 0 1\n1 -1 -1 0 0 0 1 0 0\n"
        "mat\n0 1 2 3 4 5 6 7 8\n1 1 2 3 4 5 6 7 8\n0 1 2 3 4 5 6 7 8\nend\n";
    Model reference;
    ASSERT_EQ(loadSmdFromMemory(reference, plain).status, SmdStatus::Loaded);

    const char* variants[] = {
        // weight links: 10, 12 and 18 columns, mixed (a count of 0 is no link)
        "version 1\nnodes\n0 \"root\" -1\n1 \"Bone\" -1\nend\nskeleton\ntime 0\n"
        "0 0 0 0 0 0 0\n1 0.5 0 0 1.570796 -0 0\nend\ntriangles\nmat\n"
        "0 1 -1 0 0 0 1 1 0 0\n0 -1 1 0 0 0 1 0 1 1 0 1.000000\n"
        "1 -1 -1 0 0 0 1 0 0 4 0 0.25 1 0.25 0 0.25 1 0.25\n"
        "mat\n0 1 2 3 4 5 6 7 8 1 1 1.0\n1 1 2 3 4 5 6 7 8 2 0 0.5 1 0.5  \n"
        "0 1 2 3 4 5 6 7 8 0\nend\n",
        // CRLF, two roots, indented and padded lines, integers with double blanks
        "version 1\r\nnodes\r\n  0 \"root\"  -1\r\n  1 \"Bone\"   -1\r\nend\r\nskeleton\r\n"
        "time 0\r\n  0  0 0 0  0 0 0\r\n  1  0.500000 0.000000 0.000000  1.570796 -0.000000 0\r\n"
        "end\r\ntriangles\r\nmat\r\n0  1 -1 0  0 0 1  1 0 1 0 1\r\n0  -1 1 0  0 0 1  0 1\r\n"
        "1  -1 -1 0  0 0 1  0 0\r\nmat\r\n0 1 2 3 4 5 6 7 8\r\n1 1 2 3 4 5 6 7 8\r\n"
        "0 1 2 3 4 5 6 7 8\r\nend",
        // comments before the version line and elsewhere, node id gaps
        "// exported by hand\n// second comment\nversion 1\n// bones\nnodes\n0 \"root\" -1\n"
        "3 \"Bone\" -1 // the gun\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n// key of bone 1\n"
        "1 0.5 0 0 1.570796 -0 0\nend\ntriangles\nmat\n0 1 -1 0 0 0 1 1 0\n"
        "// corner two\n0 -1 1 0 0 0 1 0 1\n1 -1 -1 0 0 0 1 0 0 1 1 1.0 // weighted\n"
        "mat\n0 1 2 3 4 5 6 7 8\n1 1 2 3 4 5 6 7 8\n0 1 2 3 4 5 6 7 8\nend\n",
        // a byte order mark
        "\xEF\xBB\xBFversion 1\nnodes\n0 \"root\" -1\n1 \"Bone\" -1\nend\nskeleton\ntime 0\n"
        "0 0 0 0 0 0 0\n1 0.5 0 0 1.570796 -0 0\nend\ntriangles\nmat\n"
        "0 1 -1 0 0 0 1 1 0\n0 -1 1 0 0 0 1 0 1\n1 -1 -1 0 0 0 1 0 0\n"
        "mat\n0 1 2 3 4 5 6 7 8\n1 1 2 3 4 5 6 7 8\n0 1 2 3 4 5 6 7 8\nend\n",
    };
    for (const char* text : variants) {
        Loaded l = load(text);
        EXPECT_EQ(l.result.status, SmdStatus::Loaded) << text << "\n" << problems(l.result);
        EXPECT_EQ(countSeverity(l.result, SmdProblem::Severity::Error), 0u) << problems(l.result);
        EXPECT_EQ(shape(l.model), shape(reference)) << text;
        ASSERT_EQ(l.model.triangles.size(), 2u);
        for (int t = 0; t < 2; ++t)
            for (int c = 0; c < 3; ++c) {
                const MeshVertex &a = l.model.triangles[t].corners[c],
                                 &b = reference.triangles[t].corners[c];
                EXPECT_EQ(std::memcmp(&a, &b, offsetof(MeshVertex, firstLink)), 0)
                    << text << " t" << t << " c" << c;
            }
        EXPECT_EQ(
            std::memcmp(l.model.frames[0].data(), reference.frames[0].data(), 2 * sizeof(BoneKey)),
            0);
    }
    // One warning per oddity, at its first place, with the count.
    Loaded weighted = load(variants[0]);
    // The links are kept per corner, in file order; a count of 0 is none.
    const auto links = [&](int t, int c) {
        const MeshVertex& v = weighted.model.triangles[t].corners[c];
        std::string out;
        for (uint32_t i = 0; i < v.linkCount; ++i) {
            const WeightLink& l = weighted.model.links.at(v.firstLink + i);
            out += std::to_string(l.bone) + ":" + std::to_string(l.weight) + " ";
        }
        return out;
    };
    EXPECT_EQ(weighted.model.links.size(), 8u);
    EXPECT_EQ(links(0, 0), "");
    EXPECT_EQ(links(0, 1), "0:1.000000 ");
    EXPECT_EQ(links(0, 2), "0:0.250000 1:0.250000 0:0.250000 1:0.250000 ");
    EXPECT_EQ(links(1, 1), "0:0.500000 1:0.500000 ");
    EXPECT_EQ(links(1, 2), "");
    EXPECT_EQ(problems(weighted.result),
              "f:14:20: warning: corner lines carry weight links after their nine fields (used "
              "to skin the mesh) (4 times, first here)\n");
    Loaded commented = load(variants[2]);
    EXPECT_NE(problems(commented.result).find("f:1:1: warning: comment skipped (7 times"),
              std::string::npos)
        << problems(commented.result);
    EXPECT_NE(problems(commented.result).find("f:7:1: warning: node index word differs"),
              std::string::npos)
        << problems(commented.result);
}

// Exporters write a clip's later time blocks with only the bones that moved,
// each line led by its bone's index. A block whose index words all name
// distinct bones puts each key on that bone and the bones it leaves out keep
// their keys; any other block is read by position, as before.
TEST(SmdReader, TimeBlocksWithSomeBonesOrInAnotherOrder) {
    // Each key's x is ten times its frame plus the bone its line names.
    const std::string text =
        "version 1\nnodes\n0 \"a\" -1\n1 \"b\" 0\n2 \"c\" 1\nend\nskeleton\n"
        "time 0\n1 1 0 0 0 0 0\n"                                   // only bone 1
        "time 1\n0 10 0 0 0 0 0\n1 11 0 0 0 0 0\n2 12 0 0 0 0 0\n"  // all, in order
        "time 2\n2 22 0 0 0 0 0\n0 20 0 0 0 0 0\n"                  // shuffled, bone 1 left out
        "time 3\n2 32 0 0 0 0 0\n1 31 0 0 0 0 0\n0 30 0 0 0 0 0\n"  // all, reversed
        "time 4\n1 41 0 0 0 0 0\n1 41 0 0 0 0 0\n"                  // repeated: by position
        "time 5\n0 50 0 0 0 0 0\nb 51 0 0 0 0 0\n2 52 0 0 0 0 0\n"  // not an index: by position
        "time 6\n7 60 0 0 0 0 0\n"                                  // no bone 7: by position
        "end\n";
    Loaded l = load(text);
    std::string xs;
    for (const Frame& f : l.model.frames) {
        xs += " |";
        for (const BoneKey& k : f) xs += " " + std::to_string(static_cast<int>(k.x));
    }
    EXPECT_EQ(xs, " | 0 1 0 | 10 11 12 | 20 11 22 | 30 31 32 | 41 41 32 | 50 51 52 | 60 51 52");
    EXPECT_EQ(problems(l.result),
              "f:9:1: warning: time blocks list bones by index word, not in order; a bone left out "
              "keeps its last key (3 times, first here)\n"
              "f:22:1: warning: frame 4 holds 2 keys for 3 bones; the missing keys repeat the "
              "previous frame\n"
              "f:22:1: warning: key index word differs from the key's position; keys belong to "
              "bones in file order (3 times, first here)\n"
              "f:29:1: warning: frame 6 holds 1 key for 3 bones; the missing keys repeat the "
              "previous frame\n");
}

// A file that is not an SMD file costs a reload no more than a missing one:
// refused from its first bytes, whatever its size, with the message a whole
// read would give.
TEST(SmdReader, AFileThatIsNotSmdIsRefusedFromItsFirstBytes) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("smd_head_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "walk.smd";
    std::string digits;
    while (digits.size() < 600) digits += "1234567890";
    std::string comments;
    while (comments.size() < 2000) comments += "// exported by a tool that says a lot\n";
    const std::string cases[] = {digits, "\xEF\xBB\xBF// made here\nversion 2\n"};
    for (const std::string& head : cases) {
        std::ofstream(file, std::ios::binary) << head;
        std::error_code ec;
        fs::resize_file(file, uintmax_t{1} << 40, ec);  // a terabyte, as a hole
        if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
        Model m, fromHead;
        const SmdLoadResult r = loadSmd(m, file.string().c_str());
        EXPECT_EQ(r.status, SmdStatus::WrongFirstLine) << problems(r);
        EXPECT_EQ(problems(r), problems(loadSmdFromMemory(fromHead, head)));
    }
    // Comment lines beyond the first bytes are read on to the version line.
    std::ofstream(file, std::ios::binary) << comments << "version 1\nnodes\n0 \"a\" -1\nend\n";
    Model m;
    EXPECT_EQ(loadSmd(m, file.string().c_str()).status, SmdStatus::Loaded);
    EXPECT_EQ(shape(m), "bones a:-1 | frames | triangles");
    fs::remove_all(dir);
}

// Extra fields that are not weight links are not skipped silently.
TEST(SmdReader, ExtraFieldsThatAreNotLinksStayInTheTokenStream) {
    Loaded l = load(
        "version 1\nnodes\n0 \"a\" -1\nend\ntriangles\nm\n0 0 0 0 0 0 0 0 0 2 0 1.0\n"
        "0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\nend\n");
    EXPECT_EQ(l.result.status, SmdStatus::Malformed) << problems(l.result);
}

TEST(SmdReader, DescribeGivesOneLinePerProblem) {
    SmdLoadResult r;
    r.status = SmdStatus::Malformed;
    r.problems.push_back({SmdProblem::Severity::Warning, 2, 5, "odd"});
    r.problems.push_back({SmdProblem::Severity::Error, 0, 0, "bad"});
    EXPECT_EQ(describeSmdLoad("x.smd", r), "x.smd:2:5: warning: odd\nx.smd: error: bad\n");
    EXPECT_EQ(describeSmdLoad("x.smd", SmdLoadResult{}), "");
}

// Every prefix of a valid file loads without trouble and keeps a safe model:
// the cut-off points exercise every "end of text" path.
TEST(SmdReader, EveryPrefixOfAFileTerminatesSafely) {
    const std::string text = std::string(kSmall) + "skeleton\ntime 1\n0 1 1 1 1 1 1\ntime 2\nend\n";
    for (size_t n = 0; n <= text.size(); ++n) {
        Model m;
        SmdLoadResult r = loadSmdFromMemory(m, std::string_view(text.data(), n));
        for (const Bone& b : m.bones) EXPECT_LT(b.parent, static_cast<int32_t>(m.bones.size()));
        for (const Frame& f : m.frames) EXPECT_GE(f.size(), m.bones.size());
        if (r.status == SmdStatus::Malformed || r.status == SmdStatus::WrongFirstLine) {
            EXPECT_GE(countSeverity(r, SmdProblem::Severity::Error), 1u) << n;
        }
    }
}

}  // namespace

namespace {

// Inputs that once tripped the sanitizers: an empty view without a buffer,
// and a weight-link count at the top of the integer range.
TEST(SmdReader, DegenerateInputs) {
    Model m;
    m.bones.resize(1);
    EXPECT_EQ(loadSmdFromMemory(m, std::string_view{}).status, SmdStatus::WrongFirstLine);
    EXPECT_TRUE(m.bones.empty());
    Loaded l = load(
        "version 1\nnodes\n0 \"a\" -1\nend\ntriangles\nm\n0 0 0 0 0 0 0 0 0 2147483647 0 1\n"
        "0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0\nend\n");
    EXPECT_EQ(l.result.status, SmdStatus::Malformed) << problems(l.result);
    // Not weight links: the tokens run on, the first triangle completes with a
    // corner on a bone that does not exist (re-attached), the second breaks.
    ASSERT_EQ(l.model.triangles.size(), 1u);
    EXPECT_EQ(l.model.triangles[0].corners[1].bone, 0);
}

}  // namespace
