#pragma once
// Code pages of table files: text is decoded to UTF-8 when it leaves a table
// and encoded back when it is written. Single-byte code pages are turned into
// byte tables (through iconv), so decoding costs a table look-up; the tables
// are made when the first byte above ASCII needs them, so that text in plain
// ASCII never starts iconv.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarnel {

class CodePage {
public:
    // 0 or an unknown number falls back to 1252 (Windows Western); 65001 is UTF-8.
    static std::shared_ptr<const CodePage> get(int number);

    int number() const { return number_; }

    // Appends the UTF-8 form of n bytes of text in this code page.
    void decode(const char* text, std::size_t n, std::string& out) const;
    std::string decode(std::string_view text) const
    {
        std::string out;
        decode(text.data(), text.size(), out);
        return out;
    }
    // Appends the bytes of UTF-8 text in this code page. Returns false (and
    // sets badChar to the character) when a character has no byte here.
    bool encode(std::string_view utf8, std::string& out, std::string* badChar = nullptr) const;

private:
    explicit CodePage(int number);
    // Fills high_ and reverse_ from iconv's tables of a single-byte page;
    // false when iconv maps no byte of it.
    bool fillTables(const std::string& iconvName) const;
    void needTables() const { std::call_once(tablesMade_, [this] { fillTables(iconvName_); }); }

    int number_ = 1252;
    bool multiByte_ = false;
    bool utf8_ = false;
    std::string iconvName_;
    mutable std::once_flag tablesMade_;
    mutable std::array<std::string, 128> high_;                // UTF-8 of bytes 0x80..0xFF
    mutable std::unordered_map<std::uint32_t, char> reverse_;  // code point -> byte, for 0x80..0xFF
};

// The code pages offered for tables that do not name theirs: number and a
// name for people.
std::vector<std::pair<int, std::string>> ChoosableCodePages();
// A code page from what a user types: "437", "cp850", "windows-1250",
// "utf-8", "mazovia", "kamenicky"... 0 when it names none we know.
int CodePageByName(std::string_view name);

// dBASE/FoxPro language driver byte <-> code page (0 when the byte is unknown).
int CodePageOfLanguageDriver(std::uint8_t driver);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::uint32_t codePoint, std::string& out);

// True when the bytes are valid UTF-8 and hold at least one non-ASCII character.
bool LooksLikeUtf8(std::string_view bytes);
std::uint8_t LanguageDriverOfCodePage(int codePage);

} // namespace tarnel
