#include "tests/backends/run_compare.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

struct Token {
    enum class Kind { Punct, String, Number, Literal, Bad } kind = Kind::Bad;
    std::string text;
    double number = 0.0;
};

// Splits one JSON line into tokens; an unknown character becomes a Bad token,
// which never equals anything.
std::vector<Token> tokenize(const std::string& line) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (std::strchr("{}[]:,", c) != nullptr) {
            out.push_back({Token::Kind::Punct, std::string(1, c)});
            ++i;
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < line.size() && line[j] != '"') j += line[j] == '\\' ? 2 : 1;
            out.push_back({Token::Kind::String, line.substr(i, std::min(j + 1, line.size()) - i)});
            i = j + 1;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const char* start = line.c_str() + i;
            char* end = nullptr;
            const double v = std::strtod(start, &end);
            const size_t n = static_cast<size_t>(end - start);
            if (n == 0) {
                out.push_back({Token::Kind::Bad, std::string(1, c)});
                ++i;
            } else {
                out.push_back({Token::Kind::Number, line.substr(i, n), v});
                i += n;
            }
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < line.size() && std::isalpha(static_cast<unsigned char>(line[j]))) ++j;
            out.push_back({Token::Kind::Literal, line.substr(i, j - i)});
            i = j;
        } else {
            out.push_back({Token::Kind::Bad, std::string(1, c)});
            ++i;
        }
    }
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Index just past the value starting at `i` (a scalar, or a bracketed run).
size_t skipValue(const std::vector<Token>& t, size_t i) {
    if (i >= t.size()) return i;
    if (t[i].kind != Token::Kind::Punct || (t[i].text != "{" && t[i].text != "[")) return i + 1;
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i].kind != Token::Kind::Punct) continue;
        if (t[i].text == "{" || t[i].text == "[") ++depth;
        if (t[i].text == "}" || t[i].text == "]") {
            if (--depth == 0) return i + 1;
        }
    }
    return i;
}

bool isKey(const std::vector<Token>& t, size_t i, const char* name) {
    return t[i].kind == Token::Kind::String && t[i].text == std::string("\"") + name + "\"" &&
           i + 1 < t.size() && t[i + 1].text == ":";
}

}  // namespace

TraceComparison compareTraces(const std::string& a, const std::string& b,
                              const TraceTolerance& tolerance) {
    TraceComparison r;
    const std::vector<std::string> la = splitLines(a), lb = splitLines(b);
    if (la.size() != lb.size()) {
        r.firstMismatch = "line counts differ: " + std::to_string(la.size()) + " and " +
                          std::to_string(lb.size());
        return r;
    }
    for (size_t line = 0; line < la.size(); ++line) {
        ++r.lines;
        const std::vector<Token> ta = tokenize(la[line]), tb = tokenize(lb[line]);
        const std::string where = "line " + std::to_string(line + 1) + ": ";
        size_t i = 0, j = 0;
        std::string lastKey;
        while (i < ta.size() && j < tb.size()) {
            const Token &x = ta[i], &y = tb[j];
            if (isKey(ta, i, "cpuUs") && isKey(tb, j, "cpuUs")) {
                i = skipValue(ta, i + 2);
                j = skipValue(tb, j + 2);
                continue;
            }
            if (x.kind == Token::Kind::String && i + 1 < ta.size() && ta[i + 1].text == ":")
                lastKey = x.text;
            if (x.kind != y.kind || x.kind == Token::Kind::Bad) {
                r.firstMismatch =
                    where + "'" + x.text + "' against '" + y.text + "' after " + lastKey;
                return r;
            }
            if (x.kind == Token::Kind::Number) {
                ++r.numbers;
                const double d = std::fabs(x.number - y.number);
                const double scale = std::max(std::fabs(x.number), std::fabs(y.number));
                if (x.text != y.text) ++r.numbersDiffering;
                r.largestAbsolute = std::max(r.largestAbsolute, d);
                if (scale > 0) r.largestRelative = std::max(r.largestRelative, d / scale);
                // Counts, ticks and indices (integers on both sides) must be equal.
                const bool integers = x.text.find_first_of(".eE") == std::string::npos &&
                                      y.text.find_first_of(".eE") == std::string::npos;
                const double allowed =
                    integers ? 0.0 : tolerance.absolute + tolerance.relative * scale;
                if (!(d <= allowed)) {
                    r.firstMismatch = where + x.text + " against " + y.text + " at " + lastKey;
                    return r;
                }
            } else if (x.text != y.text) {
                r.firstMismatch =
                    where + "'" + x.text + "' against '" + y.text + "' after " + lastKey;
                return r;
            }
            ++i;
            ++j;
        }
        if (i != ta.size() || j != tb.size()) {
            r.firstMismatch = where + "one line ends early, after " + lastKey;
            return r;
        }
    }
    r.equal = true;
    return r;
}

namespace {

bool inBox(const PixelBox& box, int x, int y) {
    return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

// Bounding box of the ink in `box`: pixels far (more than 96 in some channel)
// from the box's top-left pixel, taken as its background. Empty (right <= left)
// when there is none.
PixelBox inkExtent(const RgbImage& image, PixelBox box) {
    box.left = std::max(box.left, 0);
    box.top = std::max(box.top, 0);
    box.right = std::min(box.right, image.width);
    box.bottom = std::min(box.bottom, image.height);
    if (box.right <= box.left || box.bottom <= box.top) return PixelBox{};
    PixelBox ink{box.right, box.bottom, box.left, box.top};
    const uint8_t* bg = &image.pixels[(static_cast<size_t>(box.top) * image.width + box.left) * 3];
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
            if (std::abs(p[0] - bg[0]) <= 96 && std::abs(p[1] - bg[1]) <= 96 &&
                std::abs(p[2] - bg[2]) <= 96)
                continue;
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
        }
    return ink.right > ink.left ? ink : PixelBox{};
}

std::string describe(const PixelBox& b) {
    if (b.right <= b.left) return "no ink";
    return "(" + std::to_string(b.left) + "," + std::to_string(b.top) + ")-(" +
           std::to_string(b.right) + "," + std::to_string(b.bottom) + ")";
}

}  // namespace

ImageComparison compareImages(const RgbImage& a, const RgbImage& b,
                              const ImageTolerance& tolerance) {
    ImageComparison r;
    r.sameSize = a.width == b.width && a.height == b.height && a.width > 0 && a.height > 0 &&
                 a.pixels.size() == static_cast<size_t>(a.width) * a.height * 3 &&
                 b.pixels.size() == a.pixels.size();
    if (!r.sameSize) return r;
    const int w = a.width, h = a.height;
    r.pixels = static_cast<long>(w) * h;
    auto close = [&](const RgbImage& p, int pi, const RgbImage& q, int qi) {
        for (int c = 0; c < 3; ++c)
            if (std::abs(p.pixels[3 * pi + c] - q.pixels[3 * qi + c]) > tolerance.channelTolerance)
                return false;
        return true;
    };
    auto inText = [&](int x, int y) {
        for (const PixelBox& box : tolerance.textBoxes)
            if (inBox(box, x, y)) return true;
        return false;
    };
    // Pixels of `p` outside the text boxes with no close pixel of `q` within the radius.
    long outside = 0;
    auto unmatched = [&](const RgbImage& p, const RgbImage& q) {
        long count = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int pi = y * w + x;
                if (inText(x, y)) continue;
                if (&p == &a) ++outside;
                if (close(p, pi, q, pi)) continue;
                bool found = false;
                for (int dy = -tolerance.radius; dy <= tolerance.radius && !found; ++dy)
                    for (int dx = -tolerance.radius; dx <= tolerance.radius && !found; ++dx) {
                        const int qx = x + dx, qy = y + dy;
                        if (qx >= 0 && qy >= 0 && qx < w && qy < h)
                            found = close(p, pi, q, qy * w + qx);
                    }
                if (!found) ++count;
            }
        return count;
    };
    for (int i = 0; i < w * h; ++i)
        if (!close(a, i, b, i)) ++r.exactDiffering;
    r.unmatched = unmatched(a, b) + unmatched(b, a);
    r.unmatchedFraction =
        outside > 0 ? static_cast<double>(r.unmatched) / (2.0 * static_cast<double>(outside)) : 0.0;
    for (const PixelBox& box : tolerance.textBoxes) {
        const PixelBox ea = inkExtent(a, box), eb = inkExtent(b, box);
        const bool emptyA = ea.right <= ea.left, emptyB = eb.right <= eb.left;
        const int s = tolerance.textSlack;
        const bool agree = emptyA == emptyB && (emptyA || (std::abs(ea.left - eb.left) <= s &&
                                                           std::abs(ea.top - eb.top) <= s &&
                                                           std::abs(ea.right - eb.right) <= s &&
                                                           std::abs(ea.bottom - eb.bottom) <= s));
        if (agree) continue;
        if (r.textBoxesDiffering++ == 0)
            r.textReport =
                "text in " + describe(box) + ": " + describe(ea) + " against " + describe(eb);
    }
    return r;
}

bool readPngRgb(const std::string& path, RgbImage& out, std::string& error) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &w, &h, &channels, 3);
    if (data == nullptr) {
        error = path + ": " + (stbi_failure_reason() ? stbi_failure_reason() : "cannot read");
        return false;
    }
    out.width = w;
    out.height = h;
    out.pixels.assign(data, data + static_cast<size_t>(w) * h * 3);
    stbi_image_free(data);
    return true;
}
