#include "model/smd.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <utility>

#include "model/file_text.h"
#include "model/smd_number.h"

using smd_detail::isBlank;

namespace {

constexpr size_t kMaxWord = 999;  // longest word, bone name or first line
constexpr size_t kBoneNameMax = sizeof(Bone::name) - 1;
constexpr size_t kMaterialMax = sizeof(Triangle::material) - 1;
constexpr size_t kNoPlace = static_cast<size_t>(-1);
constexpr uint32_t kListedPerKind = 5;  // repairs listed one by one, then summed up
// Largest magnitude a number may have. Beyond it no real model lies, and the
// bound keeps every later sum of a chain's offsets, its squared lengths and the
// drawing transforms far inside the float range, so nothing derived from a
// loaded model can overflow to infinity or NaN.
constexpr float kMaxMagnitude = 1e9f;

// Oddities that real files show many times over: reported once, at the first
// place, with the number of occurrences.
enum Oddity : int {
    kComment,
    kWeightLinks,
    kNodeIndex,
    kKeyIndex,
    kKeysByIndex,
    kQuote,
    kNameLineBreak,
    kIntegerAsFloat,
    kMaterialTruncated,
    kNulInName,
    kOddityCount
};

// Repairs that may repeat without bound: listed up to kListedPerKind times each.
enum RepairKind : int {
    kNotFinite,
    kParent,
    kBoneNameCut,
    kPadded,
    kExtraKeys,
    kCornerBone,
    kRepairKindCount
};

struct Pending {
    size_t offset;  // byte offset into the text, kNoPlace when not tied to a place
    SmdProblem::Severity severity;
    std::string message;
    bool quiet = false;  // SmdProblem::quiet
};

struct Token {
    const char* begin;
    const char* end;
    size_t size() const { return static_cast<size_t>(end - begin); }
};

bool isKeyword(const Token& t, const char* lowerCase, size_t length) {
    if (t.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if ((t.begin[i] | 0x20) != lowerCase[i]) return false;
    return true;
}
bool isEnd(const Token& t) {
    return isKeyword(t, "end", 3);
}
bool isTime(const Token& t) {
    return isKeyword(t, "time", 4);
}

// A token for a message: at most 40 characters, control bytes escaped.
std::string quoted(const char* begin, const char* end) {
    std::string s = "'";
    size_t n = 0;
    for (const char* c = begin; c < end; ++c, ++n) {
        if (n == 40) {
            s += "...";
            break;
        }
        const unsigned char u = static_cast<unsigned char>(*c);
        if (u < 0x20 || u == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            s += hex;
        } else {
            s += static_cast<char>(u);
        }
    }
    return s + "'";
}

// Copies a name into a fixed NUL-terminated field, cutting it to `capacity`
// bytes (never inside a UTF-8 sequence). Returns true when it had to cut.
bool copyName(char* field, size_t capacity, const char* begin, size_t length) {
    bool cut = false;
    if (length > capacity) {
        cut = true;
        length = capacity;
        while (length > 0 && (static_cast<unsigned char>(begin[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(field, begin, length);
    field[length] = '\0';
    return cut;
}

class Parser {
public:
    Parser(std::string_view text, Model& model)
        : base_(text.data()), p_(text.data()), end_(text.data() + text.size()), model_(model) {}

    SmdLoadResult run();

private:
    // Reading primitives. Each returns false when reading has to stop: either
    // the end of the text (failed_ still false) or an error already recorded.
    bool skip() {
        while (p_ < end_ && isBlank(*p_)) ++p_;
        if (p_ == end_) return false;
        return *p_ != '/' || skipComments();
    }
    bool skipComments();
    bool word(Token& t);
    bool numbers(float* values, int count);
    bool number(float& value);
    bool integer(int32_t& value);
    bool boneName(Token& name);

    bool firstLine();
    bool readNodes();
    bool readSkeleton();
    bool readTriangles();
    bool readCorner(MeshVertex& corner);
    void readWeightLinks(const char* cornerBegin, MeshVertex& corner);

    // Once kSample items of a section are read, reserves room for as many more
    // as the rest of the text would hold at the same rate (plus a tenth): one
    // allocation instead of a doubling series for large files.
    template <typename T>
    void reserveByRate(std::vector<T>& items, const char* sectionBegin) {
        const size_t used = static_cast<size_t>(p_ - sectionBegin);
        if (used == 0) return;
        const double perItem = static_cast<double>(used) / static_cast<double>(items.size());
        const double rest = static_cast<double>(end_ - p_) / perItem;
        items.reserve(items.size() + static_cast<size_t>(rest * 1.1) + 1);
    }
    static constexpr size_t kSample = 16;

    void checkIndexWord(const Token& t, size_t position, Oddity oddity);
    void keyIndexWord(const Token& t, size_t frame, size_t position);
    struct KeyIndexWords;
    bool placeKeysByIndex(const KeyIndexWords& words, std::vector<size_t>& placedIn);
    void endOfText(const char* section);
    void fail(const char* at, std::string message);
    void note(Oddity oddity, const char* at) { note(oddity, static_cast<size_t>(at - base_)); }
    void note(Oddity oddity, size_t offset) {
        if (tally_[oddity]++ == 0) first_[oddity] = offset;
    }
    void repair(RepairKind kind, size_t offset, SmdProblem::Severity severity, std::string message);

    void repairHierarchy();
    void repairFrames();
    void repairCorners();
    void reportOddities();
    SmdLoadResult finish(SmdStatus status);

    const char* const base_;
    const char* p_;
    const char* const end_;
    Model& model_;

    bool failed_ = false;
    bool repaired_ = false;
    std::vector<Pending> pending_;
    uint32_t tally_[kOddityCount] = {};
    size_t first_[kOddityCount] = {};
    uint32_t repairs_[kRepairKindCount] = {};
    std::vector<size_t> boneOffset_;   // where each bone line starts
    std::vector<size_t> frameOffset_;  // where each frame's first key (or its block) starts

    // The index words of a frame's keys (-1: not a bone index), kept only for
    // frames where one differs from its key's position.
    struct KeyIndexWords {
        size_t frame;
        size_t firstDiffering;  // offset of the first word that differs
        uint32_t differing;
        std::vector<int32_t> index;
    };
    std::vector<KeyIndexWords> keyIndexWords_;
};

// At a '/': skips comments (and the blanks after them) if there are any.
bool Parser::skipComments() {
    for (;;) {
        while (p_ < end_ && isBlank(*p_)) ++p_;
        if (p_ == end_) return false;
        if (*p_ != '/' || p_ + 1 == end_ || p_[1] != '/') return true;
        // A comment runs to the end of its line.
        note(kComment, p_);
        const void* lineEnd = std::memchr(p_, '\n', static_cast<size_t>(end_ - p_));
        p_ = lineEnd ? static_cast<const char*>(lineEnd) : end_;
    }
}

bool Parser::word(Token& t) {
    if (!skip()) return false;
    t.begin = p_;
    while (p_ < end_ && !isBlank(*p_)) ++p_;
    t.end = p_;
    if (t.size() > kMaxWord) {
        fail(t.begin, "word longer than 999 characters");
        return false;
    }
    return true;
}

// Reads `count` numbers: the usual shape inline, anything else (and values
// beyond the model range, to report them) through number().
bool Parser::numbers(float* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (!skip()) return false;
        const char* after = smd_detail::plainDecimal(p_, end_, values[i]);
        if (after && std::fabs(values[i]) <= kMaxMagnitude) {
            p_ = after;
        } else if (!number(values[i])) {
            return false;
        }
    }
    return true;
}

bool Parser::number(float& value) {
    const char* begin = p_;
    const char* tokenEnd = p_;
    switch (parseSmdFloat(begin, end_, value, tokenEnd)) {
        case NumberParse::Ok:
            if (std::fabs(value) > kMaxMagnitude) {
                value = 0.0f;
                repair(kNotFinite, static_cast<size_t>(begin - base_), SmdProblem::Severity::Error,
                       quoted(begin, tokenEnd) + " lies beyond +-1e9; read as 0");
            }
            break;
        case NumberParse::NotFinite:
            repair(kNotFinite, static_cast<size_t>(begin - base_), SmdProblem::Severity::Error,
                   quoted(begin, tokenEnd) + " is not a finite number; read as 0");
            break;
        case NumberParse::Invalid:
            fail(begin, "expected a number, found " + quoted(begin, tokenEnd));
            return false;
    }
    p_ = tokenEnd;
    return true;
}

bool Parser::integer(int32_t& value) {
    if (!skip()) return false;
    const char* begin = p_;
    const char* tokenEnd = p_;
    while (tokenEnd < end_ && !isBlank(*tokenEnd)) ++tokenEnd;
    if (parseSmdInt(begin, tokenEnd, value) == NumberParse::Ok) {
        p_ = tokenEnd;
        return true;
    }
    // Some writers print every number with a fraction ("-1.000000"); a whole
    // value is taken as the integer it denotes.
    float f = 0.0f;
    const char* floatEnd = nullptr;
    if (parseSmdFloat(begin, tokenEnd, f, floatEnd) == NumberParse::Ok && f == std::floor(f) &&
        std::fabs(f) < 2147483648.0f) {
        note(kIntegerAsFloat, begin);
        value = static_cast<int32_t>(f);
        p_ = tokenEnd;
        return true;
    }
    fail(begin, "expected an integer, found " + quoted(begin, tokenEnd));
    return false;
}

void Parser::fail(const char* at, std::string message) {
    failed_ = true;
    pending_.push_back(
        {static_cast<size_t>(at - base_), SmdProblem::Severity::Error, std::move(message)});
}

void Parser::endOfText(const char* section) {
    if (failed_) return;
    fail(end_, std::string("end of file inside the '") + section + "' section (no closing 'end')");
}

void Parser::repair(RepairKind kind, size_t offset, SmdProblem::Severity severity,
                    std::string message) {
    repaired_ = true;
    if (++repairs_[kind] <= kListedPerKind)
        pending_.push_back({offset, severity, std::move(message)});
}

void Parser::checkIndexWord(const Token& t, size_t position, Oddity oddity) {
    size_t value = 0;
    if (t.size() <= 9) {
        for (const char* c = t.begin; c < t.end; ++c) {
            const unsigned digit = static_cast<unsigned>(*c - '0');
            if (digit >= 10u) {
                note(oddity, t.begin);
                return;
            }
            value = value * 10 + digit;
        }
        if (value == position) return;
    }
    note(oddity, t.begin);
}

// Keeps a key's index word where it matters: from the first word of a frame
// that differs from its key's position on.
void Parser::keyIndexWord(const Token& t, size_t frame, size_t position) {
    int32_t value = t.size() <= 9 ? 0 : -1;
    for (const char* c = t.begin; c < t.end && value >= 0; ++c) {
        const unsigned digit = static_cast<unsigned>(*c - '0');
        value = digit < 10u ? value * 10 + static_cast<int32_t>(digit) : -1;
    }
    const bool differs = value < 0 || static_cast<size_t>(value) != position;
    const bool kept = !keyIndexWords_.empty() && keyIndexWords_.back().frame == frame;
    if (!differs && !kept) return;
    if (!kept) {
        KeyIndexWords& words = keyIndexWords_.emplace_back();
        words.frame = frame;
        words.firstDiffering = static_cast<size_t>(t.begin - base_);
        words.differing = 0;
        for (size_t i = 0; i < position; ++i) words.index.push_back(static_cast<int32_t>(i));
    }
    keyIndexWords_.back().index.push_back(value);
    keyIndexWords_.back().differing += differs;
}

// The first line must be "version 1" exactly (letter case aside). Comment lines
// and a UTF-8 byte order mark before it are tolerated.
bool Parser::firstLine() {
    for (;;) {
        const char* lineEnd =
            static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
        if (!lineEnd) lineEnd = end_;
        const char* contentEnd = lineEnd;
        if (contentEnd > p_ && contentEnd[-1] == '\r') --contentEnd;
        const char* begin = p_;
        if (begin == base_ && contentEnd - begin >= 3 &&
            std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) {
            pending_.push_back({0, SmdProblem::Severity::Warning,
                                "UTF-8 byte order mark before the first line", true});
            begin += 3;
        }
        if (contentEnd - begin >= 2 && begin[0] == '/' && begin[1] == '/' && lineEnd < end_) {
            note(kComment, begin);
            p_ = lineEnd + 1;
            continue;
        }
        const Token line{begin, contentEnd};
        if (isKeyword(line, "version 1", 9)) {
            p_ = lineEnd < end_ ? lineEnd + 1 : end_;
            return true;
        }
        const bool blank = std::all_of(
            base_, end_, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
        pending_.push_back(
            {static_cast<size_t>(begin - base_), SmdProblem::Severity::Error,
             blank ? std::string("file is empty")
                   : "first line is " + quoted(begin, contentEnd) + ", expected 'version 1'"});
        return false;
    }
}

// One bone line after its index word: the opening quote (any non-blank
// character is taken as it), the name up to the next '"', the parent index.
bool Parser::boneName(Token& name) {
    while (p_ < end_ && isBlank(*p_)) ++p_;
    if (p_ == end_) return false;
    if (*p_ != '"') note(kQuote, p_);
    const char* open = p_++;
    const char* close =
        static_cast<const char*>(std::memchr(p_, '"', static_cast<size_t>(end_ - p_)));
    if (!close) {
        fail(open, "bone name is not closed by '\"' before the end of the file");
        return false;
    }
    if (static_cast<size_t>(close - p_) > kMaxWord) {
        fail(open, "bone name longer than 999 characters");
        return false;
    }
    name = {p_, close};
    p_ = close + 1;
    return true;
}

bool Parser::readNodes() {
    Token w;
    if (!word(w)) return false;
    while (!isEnd(w)) {
        const char* lineBegin = w.begin;
        checkIndexWord(w, model_.bones.size(), kNodeIndex);
        Token name;
        int32_t parent = 0;
        if (!boneName(name) || !integer(parent)) return false;
        Bone& bone = model_.bones.emplace_back();
        boneOffset_.push_back(static_cast<size_t>(lineBegin - base_));
        if (std::memchr(name.begin, '\0', name.size())) note(kNulInName, name.begin);
        if (std::memchr(name.begin, '\n', name.size())) note(kNameLineBreak, name.begin);
        if (copyName(bone.name, kBoneNameMax, name.begin, name.size()))
            repair(kBoneNameCut, static_cast<size_t>(name.begin - base_),
                   SmdProblem::Severity::Warning,
                   "bone name of " + std::to_string(name.size()) + " characters cut to its first " +
                       std::to_string(std::strlen(bone.name)));
        bone.parent = parent;
        if (!word(w)) return false;
    }
    return true;
}

// Frames are delimited by the token order: a new frame starts at every "time"
// block and ends at the next "time" or "end"; the words after "time" and the
// first index word of the section are not examined.
bool Parser::readSkeleton() {
    Token w, skipped;
    if (!word(skipped) || !word(skipped) || !word(w)) return false;
    const char* sectionBegin = w.begin;
    while (!isEnd(w)) {
        if (model_.frames.size() == kSample) reserveByRate(model_.frames, sectionBegin);
        Frame& frame = model_.frames.emplace_back();
        frameOffset_.push_back(static_cast<size_t>(w.begin - base_));
        size_t expected = model_.bones.size();
        if (model_.frames.size() > 1)
            expected = std::max(expected, model_.frames.rbegin()[1].size());
        frame.reserve(expected);
        if (!isTime(w)) {
            for (;;) {
                if (isEnd(w)) break;
                const Token index = w;
                float v[6];
                if (!numbers(v, 6)) return false;
                keyIndexWord(index, model_.frames.size() - 1, frame.size());
                frame.push_back(BoneKey{v[0], v[1], v[2], v[3], v[4], v[5]});
                if (!word(w)) return false;
                if (isTime(w)) break;
            }
        }
        if (isTime(w) && (!word(skipped) || !word(w))) return false;
    }
    return true;
}

// Exporters that skin meshes append weight links to a corner line: a link
// count n, then n pairs of bone index and weight. They are recognised only when
// the corner starts its line and the rest of that line has exactly that shape,
// so a file that writes several corners on one line reads as plain tokens.
void Parser::readWeightLinks(const char* cornerBegin, MeshVertex& corner) {
    const char* q = p_;
    while (q < end_ && *q != '\n' && isBlank(*q)) ++q;
    if (q == end_ || *q == '\n') return;  // the usual case: nothing follows
    for (const char* b = cornerBegin; b > base_; --b) {
        const char c = b[-1];
        if (c == '\n') break;
        if (c != ' ' && c != '\t') return;  // the corner does not start its line
    }
    const char* linksBegin = q;
    int32_t count = -1;
    int32_t seen = 0;  // tokens after the count
    // Links are kept as they are read and taken back when the line turns out
    // not to be a list of links.
    const size_t mark = model_.links.size();
    const auto notLinks = [&] { model_.links.resize(mark); };
    while (q < end_ && *q != '\n') {
        if (isBlank(*q)) {
            ++q;
            continue;
        }
        if (*q == '/' && q + 1 < end_ && q[1] == '/') break;  // a comment ends the line
        const char* t = q;
        while (q < end_ && !isBlank(*q)) ++q;
        if (count < 0) {
            if (parseSmdInt(t, q, count) != NumberParse::Ok || count < 0) return;
            continue;
        }
        if (seen >= 2 * int64_t{count}) return notLinks();
        int32_t bone = 0;
        float weight = 0.0f;
        const char* weightEnd = nullptr;
        const bool ok = (seen % 2 == 0) ? parseSmdInt(t, q, bone) == NumberParse::Ok
                                        : parseSmdFloat(t, q, weight, weightEnd) == NumberParse::Ok;
        if (!ok) return notLinks();
        if (seen % 2 == 0)
            model_.links.push_back(WeightLink{bone, 0.0f});
        else
            model_.links.back().weight = weight;
        ++seen;
    }
    if (count < 0 || seen != 2 * int64_t{count}) return notLinks();
    if (count > 0) note(kWeightLinks, linksBegin);  // a count of 0 says there are none
    corner.firstLink = static_cast<uint32_t>(mark);
    corner.linkCount = static_cast<uint32_t>(count);
    p_ = q;
}

bool Parser::readCorner(MeshVertex& c) {
    if (!integer(c.bone)) return false;
    const char* cornerBegin = p_ - 1;
    while (cornerBegin > base_ && !isBlank(cornerBegin[-1])) --cornerBegin;
    float v[8];
    if (!numbers(v, 8)) return false;
    c.px = v[0], c.py = v[1], c.pz = v[2];
    c.nx = v[3], c.ny = v[4], c.nz = v[5];
    c.u = v[6], c.v = v[7];
    if (p_ < end_ && *p_ != '\n' && !(*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n'))
        readWeightLinks(cornerBegin, c);
    return true;
}

bool Parser::readTriangles() {
    Token w;
    if (!word(w)) return false;
    const char* sectionBegin = w.begin;
    while (!isEnd(w)) {
        // Read in place; a triangle left incomplete is taken back.
        Triangle& t = model_.triangles.emplace_back();
        if (std::memchr(w.begin, '\0', w.size())) note(kNulInName, w.begin);
        if (copyName(t.material, kMaterialMax, w.begin, w.size())) {
            note(kMaterialTruncated, w.begin);
            repaired_ = true;
        }
        const size_t linksBefore = model_.links.size();
        if (!readCorner(t.corners[0]) || !readCorner(t.corners[1]) || !readCorner(t.corners[2])) {
            model_.triangles.pop_back();
            model_.links.resize(linksBefore);
            return false;
        }
        if (model_.triangles.size() == kSample) reserveByRate(model_.triangles, sectionBegin);
        if (!word(w)) return false;
    }
    return true;
}

// Parents must lie in [-1, bones) and lead to a root. A parent out of range
// makes the bone a root; a cycle is cut at its lowest-numbered bone, which
// becomes a root.
void Parser::repairHierarchy() {
    std::vector<Bone>& bones = model_.bones;
    const int32_t n = static_cast<int32_t>(bones.size());
    for (int32_t i = 0; i < n; ++i) {
        const int32_t parent = bones[i].parent;
        if (parent >= -1 && parent < n) continue;
        bones[i].parent = -1;
        repair(kParent, boneOffset_[i], SmdProblem::Severity::Error,
               "bone " + std::to_string(i) + " has parent " + std::to_string(parent) +
                   ", which does not exist; made a root");
    }
    enum : uint8_t { kUnseen, kOnPath, kDone };
    std::vector<uint8_t> state(bones.size(), kUnseen);
    std::vector<int32_t> path;
    for (int32_t start = 0; start < n; ++start) {
        path.clear();
        int32_t b = start;
        while (b >= 0 && state[b] == kUnseen) {
            state[b] = kOnPath;
            path.push_back(b);
            b = bones[b].parent;
        }
        if (b >= 0 && state[b] == kOnPath) {
            // path from b onwards is the cycle.
            const auto cycleBegin = std::find(path.begin(), path.end(), b);
            const int32_t cut = *std::min_element(cycleBegin, path.end());
            std::string members;
            for (auto it = cycleBegin; it != path.end(); ++it)
                members += (members.empty() ? "" : " -> ") + std::to_string(*it);
            repair(kParent, boneOffset_[cut], SmdProblem::Severity::Error,
                   "parent links form a cycle (" + members + " -> " + std::to_string(b) +
                       "); bone " + std::to_string(cut) + " made a root");
            bones[cut].parent = -1;
        }
        for (int32_t v : path) state[v] = kDone;
    }
}

// Every frame must hold a key for every bone. A missing key takes the same
// bone's key from the frame before (from the rest pose, all zeros, in the first
// frame). Keys beyond the bone count are kept.
// A frame whose index words all name distinct bones gets each key on the bone
// its word names; the bones it leaves out keep their keys of the frame before
// (zeros in frame 0). Otherwise the frame is left as it is and returns false.
bool Parser::placeKeysByIndex(const KeyIndexWords& words, std::vector<size_t>& placedIn) {
    const size_t bones = model_.bones.size();
    Frame& frame = model_.frames[words.frame];
    for (int32_t b : words.index) {
        if (b < 0 || static_cast<size_t>(b) >= bones || placedIn[b] == words.frame) return false;
        placedIn[b] = words.frame;
    }
    Frame placed(bones);
    if (words.frame > 0) {
        const Frame& before = model_.frames[words.frame - 1];  // repaired: at least `bones` keys
        std::copy(before.begin(), before.begin() + static_cast<ptrdiff_t>(bones), placed.begin());
    }
    for (size_t k = 0; k < frame.size(); ++k) placed[words.index[k]] = frame[k];
    frame = std::move(placed);
    return true;
}

void Parser::repairFrames() {
    const size_t bones = model_.bones.size();
    auto words = keyIndexWords_.begin();
    std::vector<size_t> placedIn(bones, SIZE_MAX);  // the frame that last placed a key on each bone
    for (size_t f = 0; f < model_.frames.size(); ++f) {
        Frame& frame = model_.frames[f];
        if (words != keyIndexWords_.end() && words->frame == f) {
            if (placeKeysByIndex(*words, placedIn)) {
                note(kKeysByIndex, frameOffset_[f]);
            } else {
                if (tally_[kKeyIndex] == 0) first_[kKeyIndex] = words->firstDiffering;
                tally_[kKeyIndex] += words->differing;
            }
            ++words;
        }
        const size_t keys = frame.size();
        if (keys == bones) continue;
        const std::string where = "frame " + std::to_string(f) + " holds " + std::to_string(keys) +
                                  (keys == 1 ? " key" : " keys") + " for " + std::to_string(bones) +
                                  (bones == 1 ? " bone" : " bones");
        if (keys > bones) {
            if (++repairs_[kExtraKeys] <= kListedPerKind)
                pending_.push_back({frameOffset_[f], SmdProblem::Severity::Warning,
                                    where + "; the extra keys are not used"});
            continue;
        }
        frame.resize(bones);
        if (f > 0)
            std::copy(model_.frames[f - 1].begin() + keys, model_.frames[f - 1].begin() + bones,
                      frame.begin() + keys);
        repair(kPadded, frameOffset_[f], SmdProblem::Severity::Warning,
               where + (f > 0 ? "; the missing keys repeat the previous frame"
                              : "; the missing keys are zero"));
    }
}

// Every corner's bone must exist; a corner on a missing bone is attached to bone 0.
void Parser::repairCorners() {
    const int32_t bones = static_cast<int32_t>(model_.bones.size());
    for (size_t t = 0; t < model_.triangles.size(); ++t) {
        for (int c = 0; c < 3; ++c) {
            MeshVertex& corner = model_.triangles[t].corners[c];
            if (corner.bone >= 0 && corner.bone < bones) continue;
            if (corner.bone == 0) continue;  // a mesh without a skeleton: nothing to attach to
            repair(kCornerBone, kNoPlace, SmdProblem::Severity::Warning,
                   "triangle " + std::to_string(t) + " corner " + std::to_string(c) + ": bone " +
                       std::to_string(corner.bone) + " does not exist; attached to bone 0");
            corner.bone = 0;
        }
    }
}

void Parser::reportOddities() {
    static const char* const kText[kOddityCount] = {
        "comment skipped",
        "corner lines carry weight links after their nine fields (used to skin the mesh)",
        "node index word differs from the bone's position; bones are numbered in file order",
        "key index word differs from the key's position; keys belong to bones in file order",
        "time blocks list bones by index word, not in order; a bone left out keeps its last key",
        "bone name does not open with '\"'; the character is taken as the opening quote",
        "bone name runs across a line break",
        "integer written with a fraction; its whole value is used",
        "material name longer than 31 characters cut to its first 31",
        "name contains a NUL byte; the name ends there",
    };
    for (int k = 0; k < kOddityCount; ++k) {
        if (tally_[k] == 0) continue;
        std::string message = kText[k];
        if (tally_[k] > 1) message += " (" + std::to_string(tally_[k]) + " times, first here)";
        pending_.push_back({first_[k], SmdProblem::Severity::Warning, std::move(message),
                            k == kComment || k == kWeightLinks});
    }
    static const char* const kMore[kRepairKindCount] = {
        "numbers out of range", "hierarchy repairs",      "bone names cut",
        "frames padded",        "frames with extra keys", "corners re-attached"};
    for (int k = 0; k < kRepairKindCount; ++k)
        if (repairs_[k] > kListedPerKind)
            pending_.push_back({kNoPlace,
                                k == kNotFinite || k == kParent ? SmdProblem::Severity::Error
                                                                : SmdProblem::Severity::Warning,
                                std::to_string(repairs_[k] - kListedPerKind) + " more " + kMore[k] +
                                    " not listed"});
}

SmdLoadResult Parser::finish(SmdStatus status) {
    SmdLoadResult result;
    result.status = status;
    // Places in file order, then the problems not tied to a place.
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.offset < b.offset; });
    size_t scanned = 0;
    uint32_t line = 1;
    size_t lineStart = 0;
    const size_t size = static_cast<size_t>(end_ - base_);
    for (Pending& p : pending_) {
        SmdProblem problem;
        problem.severity = p.severity;
        problem.message = std::move(p.message);
        problem.quiet = p.quiet;
        if (p.offset != kNoPlace) {
            const size_t offset = std::min(p.offset, size);
            while (scanned < offset) {
                const void* nl = std::memchr(base_ + scanned, '\n', offset - scanned);
                if (!nl) {
                    scanned = offset;
                    break;
                }
                scanned = static_cast<size_t>(static_cast<const char*>(nl) - base_) + 1;
                lineStart = scanned;
                ++line;
            }
            problem.line = line;
            problem.column = static_cast<uint32_t>(offset - lineStart + 1);
        }
        result.problems.push_back(std::move(problem));
    }
    return result;
}

SmdLoadResult Parser::run() {
    if (!firstLine()) return finish(SmdStatus::WrongFirstLine);
    Token w;
    bool more = word(w);
    while (more) {
        const char* section = nullptr;
        bool closed = false;
        if (isKeyword(w, "nodes", 5)) {
            section = "nodes";
            closed = readNodes();
        } else if (isKeyword(w, "skeleton", 8)) {
            section = "skeleton";
            closed = readSkeleton();
        } else if (isKeyword(w, "triangles", 9)) {
            section = "triangles";
            closed = readTriangles();
        } else {
            fail(w.begin, "unknown section " + quoted(w.begin, w.end) +
                              "; expected 'nodes', 'skeleton' or 'triangles'");
            break;
        }
        if (!closed) {
            endOfText(section);
            break;
        }
        more = word(w);
    }
    repairHierarchy();
    repairFrames();
    repairCorners();
    reportOddities();
    if (failed_) return finish(SmdStatus::Malformed);
    return finish(repaired_ ? SmdStatus::Repaired : SmdStatus::Loaded);
}

SmdLoadResult parseInto(Model& model, std::string_view text) {
    if (text.data() == nullptr) text = std::string_view("", 0);  // memchr needs a pointer
    Model fresh;
    SmdLoadResult result;
    try {
        Parser parser(text, fresh);
        result = parser.run();
    } catch (const std::exception&) {  // out of memory: nothing half-checked is handed out
        result = SmdLoadResult{};
        result.status = SmdStatus::Malformed;
        result.problems.push_back(
            {SmdProblem::Severity::Error, 0, 0, "out of memory while reading"});
        fresh = Model{};
    }
    if (result.status == SmdStatus::WrongFirstLine) fresh = Model{};
    model = std::move(fresh);
    return result;
}

// Whether the first bytes of a longer file already show that its first line
// (after the comment lines and byte order mark Parser::firstLine accepts) is not
// "version 1": that line is complete in `head`, or too long to read "version 1"
// and longer than a message quotes it. False when `head` shows "version 1" or
// cannot tell yet (it ends inside a comment or a short line).
bool headRefuses(std::string_view head) {
    const char* p = head.data();
    const char* const end = p + head.size();
    auto startsWith = [&](const char* text, size_t length) {
        return static_cast<size_t>(end - p) >= length && std::memcmp(p, text, length) == 0;
    };
    if (startsWith("\xEF\xBB\xBF", 3)) p += 3;
    for (;;) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const bool comment = startsWith("//", 2);
        if (!lineEnd) return !comment && end - p > 48;
        if (!comment) {
            const char* contentEnd = lineEnd > p && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
            return !isKeyword(Token{p, contentEnd}, "version 1", 9);
        }
        p = lineEnd + 1;
    }
}

SmdLoadResult cannotOpen(std::string reason) {
    SmdLoadResult result;
    result.status = SmdStatus::CannotOpen;
    result.problems.push_back({SmdProblem::Severity::Error, 0, 0, "cannot open: " + reason});
    return result;
}

}  // namespace

SmdLoadResult loadSmdFromMemory(Model& model, std::string_view text) {
    return parseInto(model, text);
}

SmdLoadResult loadSmd(Model& model, const char* fileName) {
    if (!fileName) return cannotOpen("no file name");
    std::string error;
    FileHandle file = openRegularFile(fileName, error);
    if (!file) return cannotOpen(error);
    // A file that is not an SMD file is refused from its first bytes, whatever
    // its size (the programs read clips again and again).
    constexpr size_t kHeadBytes = 512;
    std::string text;
    if (!readFileText(file.get(), text, error, kHeadBytes)) return cannotOpen(error);
    if (text.size() == kHeadBytes && headRefuses(text)) return parseInto(model, text);
    if (!readFileText(file.get(), text, error)) return cannotOpen(error);
    return parseInto(model, text);
}

std::string describeSmdLoad(const char* fileName, const SmdLoadResult& result, bool withQuiet) {
    std::string text;
    for (const SmdProblem& p : result.problems) {
        if (p.quiet && !withQuiet) continue;
        text += fileName;
        if (p.line > 0) text += ":" + std::to_string(p.line) + ":" + std::to_string(p.column);
        text += p.severity == SmdProblem::Severity::Error ? ": error: " : ": warning: ";
        text += p.message;
        text += '\n';
    }
    return text;
}
