// Profile files, written by hand on purpose.
//
// The suite's settings files are shared with the other programs of the suite,
// which read them by the classic profile rules: names without regard to case,
// blanks and one pair of double quotes stripped from values, raw bytes
// otherwise. The ready-made INI readers available to us do not keep to these
// rules: QSettings compares names case-sensitively, escapes backslashes and
// quotes on write, interprets quotes on read and drops comments; SimpleIni
// rewrites lines it was not asked to touch and strips one more pair of quotes
// at every load/save cycle. Either would slowly corrupt files that other
// programs own. So this module keeps every line it does not change exactly as
// it found it, and nothing more.
#include "engine/profile_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/dataset.h"

namespace tarnel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string SystemMessage(int err) { return std::strerror(err); }

// Cuts a UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutAtCharacter(const std::string& s, std::size_t limit)
{
    if (s.size() <= limit) return s;
    std::size_t n = limit;
    // Step back over continuation bytes to the start of the character at n.
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

bool HasLineBreakOrNul(const std::string& s)
{
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace

ProfileFile::Line ProfileFile::Parse(std::string raw)
{
    Line line;
    line.raw = std::move(raw);
    std::string text = line.raw;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::size_t b = 0;
    while (b < text.size() && IsBlank(text[b])) ++b;
    if (b == text.size() || text[b] == ';') return line;
    if (text[b] == '[') {
        std::size_t close = text.find(']', b + 1);
        if (close == std::string::npos) return line;
        line.kind = Line::Section;
        line.name = Trim(text.substr(b + 1, close - b - 1));
        return line;
    }
    std::size_t eq = text.find('=', b);
    if (eq == std::string::npos) return line;
    std::string key = Trim(text.substr(b, eq - b));
    if (key.empty()) return line;
    line.kind = Line::Key;
    line.name = std::move(key);
    line.value = Trim(text.substr(eq + 1));
    return line;
}

ProfileFile::ProfileFile(std::string path) : path_(std::move(path))
{
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;   // no file: an empty profile
        throw ProfileError("Cannot read the settings file " + path_ + ": " + SystemMessage(errno));
    }
    if (S_ISDIR(st.st_mode))
        throw ProfileError("Cannot read the settings file " + path_ + ": it is a folder");
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f) throw ProfileError("Cannot read the settings file " + path_ + ": " + SystemMessage(errno));
    std::string data;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        data.append(buffer, got);
        if (data.size() > ProfileSizeLimit) {
            truncated_ = true;
            break;
        }
    }
    bool failed = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (failed) throw ProfileError("Cannot read the settings file " + path_ + ": " + SystemMessage(err));
    if (truncated_) {
        // Keep whole lines only.
        data.resize(ProfileSizeLimit);
        std::size_t lastBreak = data.rfind('\n');
        data.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    }

    std::size_t start = 0;
    bool first = true;
    while (start < data.size()) {
        std::size_t nl = data.find('\n', start);
        bool hasBreak = nl != std::string::npos;
        std::string raw = data.substr(start, (hasBreak ? nl : data.size()) - start);
        if (first) {
            if (!raw.empty() && raw.back() == '\r') newline_ = "\r\n";
            first = false;
        }
        // A byte-order mark in front of the first line is not part of a name.
        bool bom = lines_.empty() && raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
        Line line = Parse(bom ? raw.substr(3) : raw);
        if (bom) line.raw = raw;
        lines_.push_back(std::move(line));
        endsWithNewline_ = hasBreak;
        start = hasBreak ? nl + 1 : data.size();
    }
}

std::size_t ProfileFile::findSection(const std::string& section) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Section && SameText(lines_[i].name, section)) return i;
    return std::string::npos;
}

std::size_t ProfileFile::sectionEnd(std::size_t start) const
{
    std::size_t i = start + 1;
    while (i < lines_.size() && lines_[i].kind != Line::Section) ++i;
    return i;
}

std::size_t ProfileFile::findKey(std::size_t sectionLine, const std::string& key) const
{
    std::size_t end = sectionEnd(sectionLine);
    for (std::size_t i = sectionLine + 1; i < end; ++i)
        if (lines_[i].kind == Line::Key && SameText(lines_[i].name, key)) return i;
    return std::string::npos;
}

std::string ProfileFile::readString(const std::string& section, const std::string& key,
                                    const std::string& fallback) const
{
    std::size_t s = findSection(section);
    if (s == std::string::npos) return CutAtCharacter(fallback, ProfileValueLimit);
    std::size_t k = findKey(s, key);
    if (k == std::string::npos) return CutAtCharacter(fallback, ProfileValueLimit);
    std::string value = lines_[k].value;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return CutAtCharacter(value, ProfileValueLimit);
}

long long ProfileFile::readInteger(const std::string& section, const std::string& key,
                                   long long fallback) const
{
    std::string text = readString(section, key);
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return fallback;
    long long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (n > (LLONG_MAX - digit) / 10) {   // saturate instead of overflowing
            n = LLONG_MAX;
            break;
        }
        n = n * 10 + digit;
    }
    return negative ? -n : n;
}

bool ProfileFile::hasSection(const std::string& section) const
{
    return findSection(section) != std::string::npos;
}

bool ProfileFile::hasKey(const std::string& section, const std::string& key) const
{
    std::size_t s = findSection(section);
    return s != std::string::npos && findKey(s, key) != std::string::npos;
}

std::vector<std::string> ProfileFile::sections() const
{
    std::vector<std::string> names;
    for (const Line& l : lines_) {
        if (l.kind != Line::Section) continue;
        bool seen = false;
        for (const auto& n : names) seen = seen || SameText(n, l.name);
        if (!seen) names.push_back(l.name);
    }
    return names;
}

std::vector<std::string> ProfileFile::keys(const std::string& section) const
{
    std::vector<std::string> names;
    std::size_t s = findSection(section);
    if (s == std::string::npos) return names;
    std::size_t end = sectionEnd(s);
    for (std::size_t i = s + 1; i < end; ++i) {
        if (lines_[i].kind != Line::Key) continue;
        bool seen = false;
        for (const auto& n : names) seen = seen || SameText(n, lines_[i].name);
        if (!seen) names.push_back(lines_[i].name);
    }
    return names;
}

void ProfileFile::writeString(const std::string& section, const std::string& key,
                              const std::string& value)
{
    if (section.empty() || HasLineBreakOrNul(section) || section.find(']') != std::string::npos ||
        Trim(section) != section)
        throw ProfileError("Cannot write to " + path_ + ": \"" + section +
                           "\" cannot be a section name");
    if (key.empty() || HasLineBreakOrNul(key) || key.find('=') != std::string::npos ||
        key.front() == '[' || key.front() == ';' || Trim(key) != key)
        throw ProfileError("Cannot write to " + path_ + ": \"" + key + "\" cannot be a key name");
    if (HasLineBreakOrNul(value))
        throw ProfileError("Cannot write to " + path_ + ": the value of " + key +
                           " holds a line break");

    Line line = Parse(key + "=" + value);
    std::size_t s = findSection(section);
    if (s == std::string::npos) {
        if (!lines_.empty() && !endsWithNewline_) endsWithNewline_ = true;
        lines_.push_back(Parse("[" + section + "]"));
        lines_.push_back(std::move(line));
        return;
    }
    std::size_t k = findKey(s, key);
    if (k != std::string::npos) {
        // Keep a carriage return the old line had, so the file keeps one style.
        if (!lines_[k].raw.empty() && lines_[k].raw.back() == '\r') line.raw += '\r';
        lines_[k] = std::move(line);
        return;
    }
    // A new key goes after the last non-blank line of the section.
    std::size_t end = sectionEnd(s);
    std::size_t at = s + 1;
    for (std::size_t i = s + 1; i < end; ++i) {
        std::string t = lines_[i].raw;
        if (!t.empty() && t.back() == '\r') t.pop_back();
        if (!Trim(t).empty()) at = i + 1;
    }
    if (at == lines_.size() && !endsWithNewline_) endsWithNewline_ = true;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void ProfileFile::deleteKey(const std::string& section, const std::string& key)
{
    std::size_t s = findSection(section);
    if (s == std::string::npos) return;
    std::size_t k;
    while ((k = findKey(s, key)) != std::string::npos)
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
}

void ProfileFile::eraseSection(const std::string& section)
{
    std::size_t s;
    while ((s = findSection(section)) != std::string::npos) {
        std::size_t end = sectionEnd(s);
        if (end == lines_.size()) endsWithNewline_ = true;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(s),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

std::string ProfileFile::QuoteForReading(const std::string& value)
{
    if (value.empty()) return value;
    bool blankAtEnd = IsBlank(value.front()) || IsBlank(value.back());
    bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    return (blankAtEnd || quoted) ? "\"" + value + "\"" : value;
}

void ProfileFile::save()
{
    if (truncated_)
        throw ProfileError("Cannot write " + path_ + ": the file is too large to be a settings file");

    std::string content;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string& raw = lines_[i].raw;
        content += raw;
        bool last = i + 1 == lines_.size();
        if (!last || endsWithNewline_) {
            // Lines read with a carriage return keep it; added lines use the file's style.
            if (!raw.empty() && raw.back() == '\r') content += '\n';
            else content += newline_;
        }
    }

    // Write through a symbolic link to the file it names.
    std::string target = path_;
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat st {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0)
        throw ProfileError("Cannot write " + path_ + ": " + SystemMessage(errno));

    std::string::size_type slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : folder) + "." + base + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) throw ProfileError("Cannot write " + path_ + ": " + SystemMessage(errno));

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw ProfileError("Cannot write " + path_ + ": " + SystemMessage(err));
    };
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) fail(errno);
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        throw ProfileError("Cannot write " + path_ + ": " + SystemMessage(err));
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        throw ProfileError("Cannot write " + path_ + ": " + SystemMessage(err));
    }
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback)
{
    try {
        return ProfileFile(path).readString(section, key, fallback);
    } catch (const ProfileError&) {
        return CutAtCharacter(fallback, ProfileValueLimit);
    }
}

} // namespace tarnel
