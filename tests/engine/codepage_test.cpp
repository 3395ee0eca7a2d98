// Single-byte code pages decode and encode every byte as iconv does, however
// their tables come to be made.
#include <gtest/gtest.h>

#include <iconv.h>
#include <string>

#include "engine/codepage.h"

using namespace tarnel;

namespace {

// What iconv makes of one byte: its UTF-8, or U+00xx where the page has no
// character for it (defined false).
std::string IconvByte(iconv_t cd, unsigned char b, bool& defined)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    char buffer[8];
    char* src = &in;
    char* dst = buffer;
    std::size_t srcLeft = 1, dstLeft = sizeof buffer;
    std::string out;
    defined = !(iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || dst == buffer);
    if (!defined)
        AppendUtf8(b, out);
    else
        out.assign(buffer, dst);
    return out;
}

} // namespace

TEST(CodePages, EveryByteDecodesAndEncodesAsIconvHasIt)
{
    const std::pair<int, const char*> pages[] = {
        {437, "CP437"},   {850, "CP850"},   {852, "CP852"},   {865, "CP865"},   {866, "CP866"},
        {737, "CP737"},   {857, "CP857"},   {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"},
        {1253, "CP1253"}, {1254, "CP1254"}, {1257, "CP1257"}, {10000, "MACINTOSH"},
    };
    for (const auto& [number, name] : pages) {
        SCOPED_TRACE(name);
        iconv_t cd = iconv_open("UTF-8", name);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        auto page = CodePage::get(number);
        EXPECT_EQ(page->number(), number);
        // Plain ASCII first: the tables are made by the first byte above it.
        EXPECT_EQ(page->decode("STATION 12"), "STATION 12");
        for (int b = 0x80; b <= 0xFF; ++b) {
            bool defined = false;
            const std::string expected = IconvByte(cd, static_cast<unsigned char>(b), defined);
            const std::string raw = std::string("a") + static_cast<char>(b) + "z";
            ASSERT_EQ(page->decode(raw), "a" + expected + "z") << "byte " << b;
            if (!defined) continue;   // its stand-in may be a character the page has elsewhere
            std::string back;
            ASSERT_TRUE(page->encode("a" + expected + "z", back)) << "byte " << b;
            EXPECT_EQ(back, raw) << "byte " << b;
        }
        iconv_close(cd);
    }
}

TEST(CodePages, APageIconvLacksIsReadAsWindowsWestern)
{
    for (int number : {10029, 10006, 4711}) {
        auto page = CodePage::get(number);
        EXPECT_EQ(page->number(), 1252) << number;
        EXPECT_EQ(page->decode("\x80"), "\xE2\x82\xAC") << number;   // the euro sign
    }
}
