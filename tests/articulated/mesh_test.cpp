// articulated with a reference mesh and its animations (tests/mesh/data), run
// headless: what it says about the files, the mesh skinned and drawn under the
// figure, M cycling what is shown, Page Down/Up switching animations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/headless_run.h"
#include "tests/support/json_line.h"
#include "tests/support/png_image.h"

namespace {

class MeshView : public HeadlessRun {
protected:
    MeshView() : HeadlessRun("articulated_mesh") {}
    HeadlessResult run(const std::string& script, const std::string& files) {
        return runHeadless(ARTICULATED_EXE, ARTICULATED_DATA_DIR, script, files);
    }
};

const std::string kMesh = MESH_DATA_DIR;

double num(const JsonFields& f, const std::string& key) {
    auto it = f.find(key);
    EXPECT_TRUE(it != f.end() && it->second.kind == JsonValue::Kind::Number) << key;
    return it == f.end() ? NAN : it->second.number;
}
const JsonFields& at(const HeadlessResult& r, uint32_t ms) {
    for (const JsonFields& f : r.trace)
        if (num(f, "tick") - num(r.trace[0], "tick") >= ms) return f;
    ADD_FAILURE() << "no frame at " << ms << " ms";
    return r.trace.back();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Shaded mesh: neither the background nor the figure's white or grey lines.
bool meshPixel(const PngImage::Pixel& p) {
    const int spread = std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b});
    return spread > 20;
}

TEST_F(MeshView, MeshAndSkeletonKeysAndAnimations) {
    const std::string files = kMesh + "/mesh_ref.smd " + kMesh + "/mesh_wave.smd " + kMesh +
                              "/mesh_strangers.smd " + kMesh + "/mesh_bend.smd";
    const HeadlessResult r =
        run("100 capture " + path("both.png") + "\n200 key M\n300 capture " + path("mesh.png") +
                "\n400 key M\n500 capture " + path("skeleton.png") +
                "\n600 key M\n700 key NEXT\n800 capture " + path("bend.png") +
                "\n900 key NEXT\n1000 key PRIOR\n1100 key PRIOR\n1200 key A\n",
            "--frames 80 " + files);
    ASSERT_EQ(r.status, 0) << r.err;
    // Each file's news once, one line each.
    EXPECT_EQ(count(r.err,
                    "mesh_wave.smd: 1 bone of mesh_ref.smd not in it keep the bind "
                    "pose: \"head\"\n"),
              1u)
        << r.err;
    EXPECT_EQ(count(r.err, "mesh_wave.smd: 1 bone not in mesh_ref.smd ignored: \"prop\"\n"), 1u)
        << r.err;
    EXPECT_EQ(count(r.err, "mesh_strangers.smd: no bone of it is in mesh_ref.smd"), 1u) << r.err;
    EXPECT_EQ(count(r.err, "mesh_bend.smd"), 0u) << r.err;  // every bone pairs

    // wave (12 frames) plays first; Page Down: bend (10) from frame 0; Page Down
    // wraps to wave (the refused file is not among them); Page Up twice: bend, wave.
    EXPECT_EQ(num(at(r, 0), "clip.frames"), 12.0);
    EXPECT_EQ(num(at(r, 700), "clip.frames"), 10.0);
    EXPECT_EQ(num(at(r, 700), "clip.current"), 0.0);
    EXPECT_EQ(num(at(r, 900), "clip.frames"), 12.0);
    EXPECT_EQ(num(at(r, 1000), "clip.frames"), 10.0);
    EXPECT_EQ(num(at(r, 1100), "clip.frames"), 12.0);
    EXPECT_EQ(num(at(r, 1100), "clip.current"), 0.0);

    const PngImage both = image("both.png"), mesh = image("mesh.png"),
                   skeleton = image("skeleton.png"), bend = image("bend.png");
    const auto meshPixels = [](const PngImage& i) {
        return i.count(0, 40, i.width, i.height, meshPixel);
    };
    const auto lines = [](const PngImage& i) {
        return i.count(0, 40, i.width, 430, isWhite);  // between the frame rate and the status
    };
    EXPECT_GT(meshPixels(both), 5000);
    EXPECT_GT(lines(both), 20);  // the figure over the mesh
    EXPECT_GT(meshPixels(mesh), 5000);
    EXPECT_EQ(lines(mesh), 0);
    EXPECT_LT(meshPixels(skeleton), 50);
    EXPECT_GT(lines(skeleton), 20);
    EXPECT_GT(meshPixels(bend), 5000);
}

// One file: played as before, its own mesh drawn in its own skeleton's frames.
TEST_F(MeshView, OneFileWithAMeshShowsIt) {
    const HeadlessResult r =
        run("50 capture " + path("one.png") + "\n", "--frames 5 " + kMesh + "/mesh_ref.smd");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(num(r.trace[0], "clip.frames"), 1.0);
    const PngImage one = image("one.png");
    EXPECT_GT(one.count(0, 40, one.width, one.height, meshPixel), 5000);
}

}  // namespace
