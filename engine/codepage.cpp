#include "engine/codepage.h"

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
    {0x66, 865},  {0x67, 861},  {0x6A, 737},  {0x6B, 857},   {0x6C, 863},  {0x78, 950},
    {0x79, 949},  {0x7A, 936},  {0x7B, 932},  {0x7C, 874},   {0x7D, 1255}, {0x7E, 1256},
    {0x86, 737},  {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006},
    {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},  {0xCC, 1257},
};

// The driver byte written for a code page (the first entry wins, except where
// the writers of today use another one).
constexpr DriverEntry kPreferred[] = {
    {0x01, 437}, {0x02, 850}, {0x03, 1252}, {0x26, 866}, {0x64, 852}, {0xC8, 1250}, {0xC9, 1251},
};

std::string IconvName(int cp)
{
    switch (cp) {
    case 10000: return "MACINTOSH";
    case 10006: return "MACGREEK";
    case 10007: return "MACCYRILLIC";
    case 10029: return "MACCENTRALEUROPE";
    case 936: return "GBK";
    case 950: return "BIG5";
    default: return "CP" + std::to_string(cp);
    }
}

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

} // namespace

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
    bool any = false;
    for (int b = 0x80; b <= 0xFF; ++b) {
        char byte = static_cast<char>(b);
        std::string utf8;
        if (Convert(iconvName_, "UTF-8", std::string_view(&byte, 1), utf8) && !utf8.empty()) {
            any = true;
        } else {
            utf8.clear();
            AppendUtf8(static_cast<std::uint32_t>(b), utf8);   // undefined byte: kept as U+00xx
        }
        std::uint32_t cp = 0;
        NextUtf8(utf8, 0, cp);
        reverse_.emplace(cp, byte);
        high_[static_cast<size_t>(b - 0x80)] = std::move(utf8);
    }
    if (!any && number != 1252) {
        *this = CodePage(1252);
        number_ = 1252;
    }
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
        std::uint32_t cp = 0;
        std::size_t len = NextUtf8(utf8, i, cp);
        if (len == 0) {
            if (badChar) *badChar = "\\x" + std::to_string(static_cast<unsigned char>(utf8[i]));
            return false;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else {
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
