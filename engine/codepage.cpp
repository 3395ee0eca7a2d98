#include "engine/codepage.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <map>
#include <mutex>

namespace tarnel {

namespace {

struct DriverEntry { std::uint8_t driver; int codePage; };

// Language driver bytes as dBASE and FoxPro write them (byte 29 of the header).
constexpr DriverEntry kDrivers[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x04, 10000}, {0x08, 865},  {0x09, 437},
    {0x0A, 850},  {0x0B, 437},  {0x0D, 437},  {0x0E, 850},   {0x0F, 437},  {0x10, 850},
    {0x11, 437},  {0x12, 850},  {0x13, 932},  {0x14, 850},   {0x15, 437},  {0x16, 850},
    {0x17, 865},  {0x18, 437},  {0x19, 437},  {0x1A, 850},   {0x1B, 437},  {0x1C, 863},
    {0x1D, 850},  {0x1F, 852},  {0x22, 852},  {0x23, 852},   {0x24, 860},  {0x25, 850},
    {0x26, 866},  {0x37, 850},  {0x40, 852},  {0x4D, 936},   {0x4E, 949},  {0x4F, 950},
    {0x50, 874},  {0x57, 1252}, {0x58, 1252}, {0x59, 1252},  {0x64, 852},  {0x65, 866},
    {0x66, 865},  {0x67, 861},  {0x68, 895},  {0x69, 620},  {0x6A, 737},  {0x6B, 857},   {0x6C, 863},  {0x78, 950},
    {0x79, 949},  {0x7A, 936},  {0x7B, 932},  {0x7C, 874},   {0x7D, 1255}, {0x7E, 1256},
    {0x86, 737},  {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006},
    {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},  {0xCC, 1257},
};

// The driver byte written for a code page (the first entry wins, except where
// the writers of today use another one).
constexpr DriverEntry kPreferred[] = {
    {0x01, 437}, {0x02, 850}, {0x03, 1252}, {0x26, 866}, {0x64, 852}, {0xC8, 1250}, {0xC9, 1251},
};

// DOS code pages that iconv does not carry. Both keep the upper part of code
// page 437 (box drawing and symbols) and replace letters below 0xB0; these
// are their bytes 0x80..0xAF.
constexpr int kMazovia = 620;     // Polish, language driver 0x69
constexpr int kKamenicky = 895;   // Czech and Slovak, language driver 0x68

constexpr std::uint16_t kMazoviaLow[48] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7,   // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,   // 88
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9,   // 90
    0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,   // 98
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C,   // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,   // A8
};

constexpr std::uint16_t kKamenickyLow[48] = {
    0x010C, 0x00FC, 0x00E9, 0x010F, 0x00E4, 0x010E, 0x0164, 0x010D,   // 80
    0x011B, 0x011A, 0x0139, 0x00CD, 0x013E, 0x013A, 0x00C4, 0x00C1,   // 88
    0x00C9, 0x017E, 0x017D, 0x00F4, 0x00F6, 0x00D3, 0x016F, 0x00DA,   // 90
    0x00FD, 0x00D6, 0x00DC, 0x0160, 0x013D, 0x00DD, 0x0158, 0x0165,   // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0148, 0x0147, 0x016E, 0x00D4,   // A0
    0x0161, 0x0159, 0x0155, 0x0154, 0x00BC, 0x00A7, 0x00AB, 0x00BB,   // A8
};

const std::uint16_t* OwnLowHalf(int cp)
{
    return cp == kMazovia ? kMazoviaLow : cp == kKamenicky ? kKamenickyLow : nullptr;
}

struct NamedPage { int number; const char* name; };

// The code pages a user can choose for a table that names none, in the
// order they are offered.
constexpr NamedPage kChoosable[] = {
    {1252, "Windows Western (1252)"},   {437, "DOS US (437)"},
    {850, "DOS Western (850)"},          {852, "DOS Central European (852)"},
    {kMazovia, "DOS Polish Mazovia"},    {kKamenicky, "DOS Czech Kamenicky"},
    {865, "DOS Nordic (865)"},           {866, "DOS Cyrillic (866)"},
    {737, "DOS Greek (737)"},            {857, "DOS Turkish (857)"},
    {1250, "Windows Central European (1250)"}, {1251, "Windows Cyrillic (1251)"},
    {1253, "Windows Greek (1253)"},      {1254, "Windows Turkish (1254)"},
    {1257, "Windows Baltic (1257)"},     {10000, "Macintosh Roman"},
    {65001, "UTF-8"},
};

std::string IconvName(int cp)
{
    switch (cp) {
    case kMazovia:
    case kKamenicky: return "CP437";
    case 10000: return "MACINTOSH";
    case 10006: return "MACGREEK";
    case 10007: return "MACCYRILLIC";
    case 10029: return "MACCENTRALEUROPE";
    case 936: return "GBK";
    case 950: return "BIG5";
    default: return "CP" + std::to_string(cp);
    }
}


// Reads one UTF-8 character; returns its length (0 when the bytes are not UTF-8).
std::size_t NextUtf8(std::string_view s, std::size_t i, std::uint32_t& cp)
{
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return 0;
    cp = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
    for (std::size_t k = 1; k < len; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    return len;
}

bool Convert(const std::string& from, const std::string& to, std::string_view in, std::string& out)
{
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1)) return false;
    out.append(buffer.data(), buffer.size() - dstLeft);
    return true;
}

// Converts one byte of a single-byte page; false when the page has no
// character for it.
bool ConvertByte(iconv_t cd, char byte, std::string& out)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[8];
    char* src = &byte;
    std::size_t srcLeft = 1;
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || dst == buffer) return false;
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    return true;
}

// The single-byte pages of the language driver table that glibc's iconv
// carries, so their tables can wait until a byte above ASCII needs them.
// It has no Macintosh Greek (10006) nor Central European (10029); the
// multi-byte pages come here only when iconv lacks them.
bool IconvCarries(int cp)
{
    if (cp == 10006 || cp == 10029 || cp == 932 || cp == 936 || cp == 949 || cp == 950) return false;
    for (const auto& e : kDrivers)
        if (e.codePage == cp) return true;
    return false;
}

} // namespace

void AppendUtf8(std::uint32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool LooksLikeUtf8(std::string_view bytes)
{
    bool high = false;
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t cp = 0;
        std::size_t len = NextUtf8(bytes, i, cp);
        if (len == 0) return false;
        high = high || len > 1;
        i += len;
    }
    return high;
}

std::vector<std::pair<int, std::string>> ChoosableCodePages()
{
    std::vector<std::pair<int, std::string>> out;
    for (const auto& p : kChoosable) out.emplace_back(p.number, p.name);
    return out;
}

int CodePageByName(std::string_view name)
{
    std::string s;
    for (char c : name)
        if (c != '-' && c != '_' && c != ' ') s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s == "utf8") return 65001;
    if (s == "mazovia") return kMazovia;
    if (s == "kamenicky" || s == "kamenick\xc3\xbd") return kKamenicky;
    if (s == "latin1" || s == "ansi") return 1252;
    for (const char* prefix : {"windows", "cp", "ibm", "dos"})
        if (s.rfind(prefix, 0) == 0) {
            s.erase(0, std::strlen(prefix));
            break;
        }
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) return 0;
    int number = std::stoi(s);
    for (const auto& p : kChoosable)
        if (p.number == number) return number;
    for (const auto& e : kDrivers)
        if (e.codePage == number) return number;
    return 0;
}

int CodePageOfLanguageDriver(std::uint8_t driver)
{
    for (const auto& e : kDrivers)
        if (e.driver == driver) return e.codePage;
    return 0;
}

std::uint8_t LanguageDriverOfCodePage(int codePage)
{
    for (const auto& e : kPreferred)
        if (e.codePage == codePage) return e.driver;
    for (const auto& e : kDrivers)
        if (e.codePage == codePage) return e.driver;
    return 0;
}

std::shared_ptr<const CodePage> CodePage::get(int number)
{
    static std::mutex mutex;
    static std::map<int, std::shared_ptr<const CodePage>> pages;
    if (number <= 0) number = 1252;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = pages.find(number);
    if (it != pages.end()) return it->second;
    std::shared_ptr<const CodePage> page(new CodePage(number));
    if (page->number_ != number) {
        // iconv does not know it: use 1252 under the asked-for number's key.
        pages[number] = page;
        return page;
    }
    pages[number] = page;
    return page;
}

CodePage::CodePage(int number) : number_(number)
{
    if (number == 65001) {
        utf8_ = true;
        return;
    }
    iconvName_ = IconvName(number);
    multiByte_ = number == 932 || number == 936 || number == 949 || number == 950;
    if (multiByte_) {
        iconv_t cd = iconv_open("UTF-8", iconvName_.c_str());
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
            return;
        }
        multiByte_ = false;
    }
    if (IconvCarries(number)) return;   // tables made on first need
    // A page iconv may not know: find out now, as the number we report
    // becomes 1252 when it does not.
    std::call_once(tablesMade_, [this, number] {
        if (!fillTables(iconvName_) && number != 1252) {
            number_ = 1252;
            iconvName_ = IconvName(1252);
            fillTables(iconvName_);
        }
    });
}

bool CodePage::fillTables(const std::string& iconvName) const
{
    iconv_t cd = iconv_open("UTF-8", iconvName.c_str());
    const bool open = cd != reinterpret_cast<iconv_t>(-1);
    const std::uint16_t* own = OwnLowHalf(number_);
    bool any = false;
    std::array<bool, 128> defined{};
    reverse_.clear();
    for (int b = 0x80; b <= 0xFF; ++b) {
        char byte = static_cast<char>(b);
        std::string utf8;
        if (own && b < 0xB0) {
            AppendUtf8(own[b - 0x80], utf8);
        } else if (!(open && ConvertByte(cd, byte, utf8))) {
            utf8.clear();
            AppendUtf8(static_cast<std::uint32_t>(b), utf8);   // undefined byte: kept as U+00xx
            high_[static_cast<size_t>(b - 0x80)] = std::move(utf8);
            continue;
        }
        any = true;
        defined[static_cast<size_t>(b - 0x80)] = true;
        std::uint32_t cp = 0;
        NextUtf8(utf8, 0, cp);
        reverse_.emplace(cp, byte);
        high_[static_cast<size_t>(b - 0x80)] = std::move(utf8);
    }
    if (open) iconv_close(cd);
    // An undefined byte's stand-in writes back as that byte, unless the page
    // has the character elsewhere: then the character's own byte is written.
    for (int b = 0x80; b <= 0xFF; ++b)
        if (!defined[static_cast<size_t>(b - 0x80)]) reverse_.emplace(static_cast<std::uint32_t>(b), static_cast<char>(b));
    return any;
}

void CodePage::decode(const char* text, std::size_t n, std::string& out) const
{
    if (utf8_) {
        std::string_view s(text, n);
        for (std::size_t i = 0; i < n;) {
            std::uint32_t cp = 0;
            std::size_t len = NextUtf8(s, i, cp);
            if (len == 0) {
                out += "\xEF\xBF\xBD";   // not UTF-8 after all: the replacement character
                ++i;
            } else {
                out.append(text + i, len);
                i += len;
            }
        }
        return;
    }
    if (multiByte_) {
        if (!Convert(iconvName_, "UTF-8", std::string_view(text, n), out))
            out.append(text, n);
        return;
    }
    // Plain ASCII, by far the most common text, is copied as it is.
    std::size_t ascii = 0;
    for (; ascii + 8 <= n; ascii += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + ascii, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (ascii < n && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    if (ascii == n) {
        out.append(text, n);
        return;
    }
    needTables();
    std::size_t start = 0;
    for (std::size_t i = ascii; i < n; ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80) {
            out.append(text + start, i - start);
            out += high_[b - 0x80];
            start = i + 1;
        }
    }
    out.append(text + start, n - start);
}

bool CodePage::encode(std::string_view utf8, std::string& out, std::string* badChar) const
{
    if (utf8_) {
        out.append(utf8);
        return true;
    }
    if (multiByte_) {
        if (Convert("UTF-8", iconvName_, utf8, out)) return true;
        if (badChar) *badChar = std::string(utf8);
        return false;
    }
    for (std::size_t i = 0; i < utf8.size();) {
        // A run of plain ASCII, by far the most common text, goes across as it is.
        std::size_t run = i;
        while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) < 0x80) ++run;
        if (run > i) {
            out.append(utf8.data() + i, run - i);
            i = run;
            continue;
        }
        std::uint32_t cp = 0;
        std::size_t len = NextUtf8(utf8, i, cp);
        if (len == 0) {
            if (badChar) *badChar = "\\x" + std::to_string(static_cast<unsigned char>(utf8[i]));
            return false;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else {
            needTables();
            auto it = reverse_.find(cp);
            if (it == reverse_.end()) {
                if (badChar) *badChar = std::string(utf8.substr(i, len));
                return false;
            }
            out += it->second;
        }
        i += len;
    }
    return true;
}

} // namespace tarnel
