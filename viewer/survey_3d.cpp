#include "viewer/survey_3d.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace {

constexpr std::string_view kFileId = "Survex 3D Image File\n";
// Longer names only come from damaged or hostile files; every station keeps a
// copy of its name, so they would cost memory without bound.
constexpr size_t kMaxName = 4096;

class Reader {
public:
    Reader(std::string_view bytes, const std::string& name) : data_(bytes), name_(name) {}

    [[noreturn]] void fail(const std::string& what) const
    {
        throw TSurveyError(name_ + ": " + what);
    }
    [[noreturn]] void truncated() const
    {
        fail("the survey file is truncated (it ends at byte " + std::to_string(data_.size()) + ")");
    }

    size_t offset() const { return pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }

    std::uint8_t byte()
    {
        if (pos_ >= data_.size()) truncated();
        return static_cast<std::uint8_t>(data_[pos_++]);
    }
    void skip(size_t n)
    {
        if (n > data_.size() - pos_) truncated();
        pos_ += n;
    }
    std::uint32_t uint32()
    {
        if (data_.size() - pos_ < 4) truncated();
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(data_[pos_ + k])) << (8 * k);
        pos_ += 4;
        return v;
    }
    std::int32_t int32() { return static_cast<std::int32_t>(uint32()); }
    TSurveyPoint point()
    {
        TSurveyPoint p;
        p.x = int32();
        p.y = int32();
        p.z = int32();
        return p;
    }
    // Text up to (not including) the next line feed, which is consumed.
    std::string_view line()
    {
        size_t end = data_.find('\n', pos_);
        if (end == std::string_view::npos) truncated();
        std::string_view text = data_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return text;
    }
    // Applies a label change to `label`: drop D bytes, append A bytes.
    void label(std::string& label)
    {
        std::uint32_t drop, add;
        std::uint8_t b = byte();
        if (b != 0) {
            drop = b >> 4;
            add = b & 0x0f;
        } else {
            b = byte();
            drop = b != 255 ? b : uint32();
            b = byte();
            add = b != 255 ? b : uint32();
        }
        if (drop > label.size())
            fail("damaged station name at byte " + std::to_string(pos_) + " (removes " + std::to_string(drop)
                 + " characters from a name of " + std::to_string(label.size()) + ")");
        if (add > data_.size() - pos_) truncated();
        if (label.size() - drop + add > kMaxName)
            fail("damaged station name at byte " + std::to_string(pos_) + " (longer than "
                 + std::to_string(kMaxName) + " characters)");
        label.resize(label.size() - drop);
        label.append(data_.substr(pos_, add));
        pos_ += add;
    }

private:
    std::string_view data_;
    const std::string& name_;
    size_t pos_ = 0;
};

std::string Hex(unsigned v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", v);
    return text;
}

} // namespace

TSurvey ParseSurvey3d(std::string_view bytes, const std::string& name)
{
    Reader in(bytes, name);
    if (bytes.substr(0, kFileId.size()) != kFileId) in.fail("not a survey file (.3d): the file identifier is missing");
    in.skip(kFileId.size());
    std::string_view version = in.line();
    if (version != "v8") {
        std::string shown(version.substr(0, 20));
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
        in.fail("survey file format \"" + shown + "\" is not supported (version 8 is needed)");
    }

    TSurvey survey;
    std::string_view meta = in.line();
    size_t zero = meta.find('\0');
    survey.title = std::string(meta.substr(0, zero));
    if (zero != std::string_view::npos) {
        std::string_view rest = meta.substr(zero + 1);
        survey.coordinateSystem = std::string(rest.substr(0, rest.find('\0')));
    }
    survey.timestamp = std::string(in.line());
    survey.extendedElevation = (in.byte() & 0x80) != 0;

    std::string label;
    // No style is set until the first style item: a STYLE_NORMAL item ends the
    // data only when the style is normal already.
    int style = -1;
    TSurveyPoint current;
    int currentSurvey = -1;
    std::unordered_map<std::string, int> surveyIndex;
    for (;;) {
        size_t at = in.offset();
        std::uint8_t code = in.byte();
        if (code <= 0x04) {
            if (code == 0x00 && style == lsNormal) break;   // the end of the data
            style = code;
        } else if (code == 0x0f) {
            current = in.point();
        } else if (code == 0x10) {
        } else if (code == 0x11) {
            in.skip(2);
        } else if (code == 0x12) {
            in.skip(3);
        } else if (code == 0x13) {
            in.skip(4);
        } else if (code == 0x1f) {
            in.skip(20);
        } else if (code >= 0x30 && code <= 0x33) {
            in.label(label);
            in.skip(code <= 0x31 ? 8 : 16);
        } else if (code >= 0x40 && code <= 0x7f) {
            if (!(code & 0x20)) in.label(label);
            TSurveyLeg leg;
            leg.from = current;
            leg.to = in.point();
            leg.flags = code & 0x07;
            leg.style = style < 0 ? lsNormal : static_cast<TLegStyle>(style);
            if (currentSurvey < 0 || label != survey.surveys[currentSurvey]) {
                auto [it, added] = surveyIndex.try_emplace(label, static_cast<int>(survey.surveys.size()));
                if (added) survey.surveys.push_back(label);
                currentSurvey = it->second;
            }
            leg.survey = currentSurvey;
            survey.legs.push_back(leg);
            current = leg.to;
        } else if (code >= 0x80) {
            in.label(label);
            TSurveyStation station;
            station.name = label;
            station.at = in.point();
            station.flags = code & 0x7f;
            survey.stations.push_back(std::move(station));
        } else {
            in.fail("damaged survey data: unknown item " + Hex(code) + " at byte " + std::to_string(at));
        }
    }
    return survey;
}

TSurvey ReadSurvey3d(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw TSurveyError(path + ": " + std::strerror(errno));
    std::string bytes;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    bool failed = std::ferror(f) != 0;
    int error = errno;
    std::fclose(f);
    if (failed) throw TSurveyError(path + ": " + std::strerror(error));
    return ParseSurvey3d(bytes, path);
}
