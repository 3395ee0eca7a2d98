#pragma once
// Profile (".ini") files: "[Section]" lines, then "Key=Value" lines.
//
// Reading follows the rules every program of the suite relies on: section and
// key names are compared without regard to letter case; blanks around a value
// and one pair of enclosing double quotes are removed; at most
// ProfileValueLimit characters of a value arrive; a missing file, section or
// key reads as empty (or as the default given).
//
// Writing changes only what is written: every other line of the file (other
// sections, other keys, comments, blank lines, line endings) stays byte for
// byte as it was, and a value is stored exactly as given. The file is replaced
// atomically, so a crash never leaves half a settings file behind.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnel {

// Most characters of one value that a read delivers.
inline constexpr std::size_t ProfileValueLimit = 2047;
// Files larger than this are read only up to here, and never rewritten.
inline constexpr std::size_t ProfileSizeLimit = 4 * 1024 * 1024;

// A profile file could not be read or written; the message names the file.
class ProfileError : public std::runtime_error {
public:
    explicit ProfileError(const std::string& message) : std::runtime_error(message) {}
};

class ProfileFile {
public:
    // Reads the file. A missing file is an empty profile; a file that exists
    // but cannot be read (a folder, no permission) throws ProfileError.
    explicit ProfileFile(std::string path);

    const std::string& path() const { return path_; }

    // The value of a key, or `fallback` when the section or key is missing.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& fallback = {}) const;
    // A key's value as an integer the way the suite reads numbers: optional
    // blanks and sign, then decimal digits; `fallback` when there are none.
    long long readInteger(const std::string& section, const std::string& key,
                          long long fallback = 0) const;
    bool hasSection(const std::string& section) const;
    bool hasKey(const std::string& section, const std::string& key) const;
    // Section names in file order, and the key names of a section in order
    // (each name once, spelt as at its first appearance).
    std::vector<std::string> sections() const;
    std::vector<std::string> keys(const std::string& section) const;

    // Sets a key, adding the section and key when they are missing. Throws
    // ProfileError for names or values that a profile line cannot hold
    // (line breaks, NUL; "=" or a leading "[" or ";" in a key; "]" in a section).
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void deleteKey(const std::string& section, const std::string& key);
    // Removes the section with all its lines (every copy of it, if the file
    // holds the section twice).
    void eraseSection(const std::string& section);

    // Writes the profile to its file through a temporary file and a rename.
    // Throws ProfileError when that fails; the old file then stays untouched.
    void save();

    // The value a key would have to hold so that reading it gives back
    // `value` exactly: values with blanks at either end, or enclosed in double
    // quotes themselves, are put in one more pair of quotes.
    static std::string QuoteForReading(const std::string& value);

private:
    struct Line {
        std::string raw;        // the bytes of the line, without its line break
        enum Kind { Other, Section, Key } kind = Other;
        std::string name;       // section or key name, blanks removed
        std::string value;      // the raw value of a key line, blanks removed
    };
    static Line Parse(std::string raw);
    // Index of the section line of the first copy of a section, or npos.
    std::size_t findSection(const std::string& section) const;
    // End of the section that starts at line index `start` (next section line or end).
    std::size_t sectionEnd(std::size_t start) const;
    std::size_t findKey(std::size_t sectionLine, const std::string& key) const;

    std::string path_;
    std::vector<Line> lines_;
    std::string newline_ = "\n";       // the file's own line break, for added lines
    bool endsWithNewline_ = true;      // whether the last line had a line break
    bool truncated_ = false;           // the file was larger than ProfileSizeLimit
};

// One value from a profile file; never throws: anything unreadable reads as `fallback`.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& fallback = {});

} // namespace tarnel
