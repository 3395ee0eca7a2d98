#include "shell/version_info.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>
#include <algorithm>

#include "engine/codepage.h"
#include "engine/daynum.h"
#include "shell/build_stamp.h"
#include "shell/system_support.h"

namespace tarnel::shell {

namespace {

constexpr std::string_view kKeys[kVersionTypeCount] = {
    "CompanyName",   "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTradeMark", "OriginalFileName", "ProductName", "ProductVersion", "Comments",
};

// Windows executables larger than this are not read for their version data.
constexpr std::size_t kMaxImage = 256u << 20;

// Bounds-checked little-endian reads over the image; every failure is damage.
class Image {
public:
    Image(std::string_view bytes, const std::string& name) : b_(bytes), name_(name) {}

    [[noreturn]] void damaged(const std::string& what) const
    {
        throw VersionResourceError(name_ + ": damaged version resource (" + what + ")");
    }
    bool has(std::size_t off, std::size_t n) const { return off <= b_.size() && n <= b_.size() - off; }
    uint16_t u16(std::size_t off) const
    {
        if (!has(off, 2)) damaged("read past the end of the file");
        return uint16_t(uint8_t(b_[off]) | uint8_t(b_[off + 1]) << 8);
    }
    uint32_t u32(std::size_t off) const
    {
        if (!has(off, 4)) damaged("read past the end of the file");
        return uint32_t(u16(off)) | uint32_t(u16(off + 2)) << 16;
    }
    std::string_view bytes() const { return b_; }

private:
    std::string_view b_;
    const std::string& name_;
};

// UTF-16LE units [off, end) up to the first zero unit, as UTF-8; unpaired
// surrogates become U+FFFD. `next` receives the offset after the zero unit.
std::string Utf16Text(const Image& im, std::size_t off, std::size_t end, std::size_t* next = nullptr)
{
    std::string out;
    std::size_t p = off;
    for (;;) {
        if (p + 2 > end) {
            if (next) im.damaged("text without its closing zero");
            break;
        }
        uint32_t u = im.u16(p);
        p += 2;
        if (u == 0) break;
        if (u >= 0xD800 && u < 0xDC00 && p + 2 <= end) {
            const uint32_t lo = im.u16(p);
            if (lo >= 0xDC00 && lo < 0xE000) {
                p += 2;
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
            } else {
                u = 0xFFFD;
            }
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        AppendUtf8(u, out);
    }
    if (next) *next = p;
    return out;
}

bool SameKey(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t(3); }

// One node of the version tree: wLength, wValueLength, wType, key, value,
// children, each part aligned to 4 bytes from the start of the resource.
struct Node {
    std::size_t begin = 0, end = 0;     // the whole node
    std::string key;
    std::size_t value = 0;              // offset of the value
    std::size_t valueLength = 0;        // as stored (words for text, bytes for binary)
    uint16_t type = 0;                  // 1: text, 0: binary
    std::size_t children = 0;           // offset of the first child
};

Node ReadNode(const Image& im, std::size_t at, std::size_t limit)
{
    Node n;
    n.begin = at;
    const std::size_t length = im.u16(at);
    if (length < 6 || length > limit - at) im.damaged("a block's length runs outside its parent");
    n.end = at + length;
    n.valueLength = im.u16(at + 2);
    n.type = im.u16(at + 4);
    std::size_t p = 0;
    n.key = Utf16Text(im, at + 6, n.end, &p);
    n.value = Align4(p);
    const std::size_t valueBytes = n.type == 1 ? n.valueLength * 2 : n.valueLength;
    if (n.value > n.end || valueBytes > n.end - n.value) {
        // Some writers count a text value in bytes, or leave no room at all:
        // keep what is there.
        n.valueLength = n.value > n.end ? 0 : (n.end - n.value) / (n.type == 1 ? 2 : 1);
    }
    n.children = std::min(n.end, Align4(n.value + (n.type == 1 ? n.valueLength * 2 : n.valueLength)));
    return n;
}

template <class F>
void ForEachChild(const Image& im, const Node& parent, F&& f)
{
    std::size_t p = parent.children;
    while (p + 6 <= parent.end) {
        const Node child = ReadNode(im, p, parent.end);
        if (!f(child)) return;
        p = Align4(child.end);
    }
}

// The file offset of a relative virtual address, through the section table.
struct Section {
    uint32_t va, vsize, raw, rawSize;
};

} // namespace

std::string_view VersionKey(TVersionType type) { return kKeys[type]; }

bool ReadPeVersionStrings(std::string_view bytes, const std::string& name, VersionStrings& out)
{
    const Image im(bytes, name);
    if (!im.has(0, 0x40) || bytes.substr(0, 2) != "MZ") return false;
    const std::size_t pe = im.u32(0x3C);
    if (!im.has(pe, 24) || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) return false;
    const std::size_t sections = im.u16(pe + 6);
    const std::size_t optSize = im.u16(pe + 20);
    const std::size_t opt = pe + 24;
    const uint16_t magic = im.u16(opt);
    std::size_t dirCountAt = 0;
    if (magic == 0x10B) dirCountAt = opt + 92;
    else if (magic == 0x20B) dirCountAt = opt + 108;
    else im.damaged("unknown optional header");
    if (dirCountAt + 4 > opt + optSize) im.damaged("optional header too short");
    const uint32_t dirCount = im.u32(dirCountAt);
    if (dirCount < 3 || dirCountAt + 4 + 3 * 8 > opt + optSize) return false;   // no resource directory
    const uint32_t rsrcVa = im.u32(dirCountAt + 4 + 2 * 8);
    const uint32_t rsrcSize = im.u32(dirCountAt + 4 + 2 * 8 + 4);
    if (rsrcVa == 0 || rsrcSize == 0) return false;

    std::vector<Section> table;
    const std::size_t secAt = opt + optSize;
    if (sections > 96) im.damaged("too many sections");
    for (std::size_t i = 0; i < sections; ++i) {
        const std::size_t s = secAt + i * 40;
        table.push_back({im.u32(s + 12), im.u32(s + 8), im.u32(s + 20), im.u32(s + 16)});
    }
    auto fileOffset = [&](uint32_t rva, std::size_t n) -> std::size_t {
        for (const Section& s : table) {
            const uint32_t size = std::max(s.vsize, s.rawSize);
            if (rva >= s.va && rva - s.va < size) {
                const std::size_t off = std::size_t(s.raw) + (rva - s.va);
                if (!im.has(off, n)) im.damaged("resource data past the end of the file");
                return off;
            }
        }
        im.damaged("resource address outside every section");
    };
    const std::size_t root = fileOffset(rsrcVa, 16);

    // Three directory levels: type (16 = version), name, language; the first
    // entry of the right type at each level.
    auto findEntry = [&](std::size_t dir, bool wantType) -> uint32_t {
        const std::size_t named = im.u16(dir + 12), ids = im.u16(dir + 14);
        if (named + ids > 4096) im.damaged("resource directory too large");
        for (std::size_t i = 0; i < named + ids; ++i) {
            const std::size_t e = dir + 16 + i * 8;
            const uint32_t id = im.u32(e);
            if (wantType && (i < named || id != 16)) continue;
            return im.u32(e + 4);
        }
        return 0xFFFFFFFFu;
    };
    std::size_t dir = root;
    for (int level = 0; level < 2; ++level) {
        const uint32_t entry = findEntry(dir, level == 0);
        if (entry == 0xFFFFFFFFu) return false;
        if (!(entry & 0x80000000u)) im.damaged("resource directory entry without a subdirectory");
        dir = root + (entry & 0x7FFFFFFFu);
        if (!im.has(dir, 16)) im.damaged("resource directory past the end of the file");
    }
    const uint32_t leaf = findEntry(dir, false);
    if (leaf == 0xFFFFFFFFu) return false;
    if (leaf & 0x80000000u) im.damaged("resource tree deeper than three levels");
    const std::size_t dataEntry = root + leaf;
    const uint32_t dataRva = im.u32(dataEntry);
    const uint32_t dataSize = im.u32(dataEntry + 4);
    const std::size_t data = fileOffset(dataRva, dataSize);

    const Image res(bytes.substr(data, dataSize), name);
    const Node top = ReadNode(res, 0, dataSize);
    bool tableFound = false;
    ForEachChild(res, top, [&](const Node& info) {
        if (!SameKey(info.key, "StringFileInfo")) return true;
        ForEachChild(res, info, [&](const Node& table) {
            if (!SameKey(table.key, "040904E4")) return true;
            tableFound = true;
            ForEachChild(res, table, [&](const Node& s) {
                for (int i = 0; i < kVersionTypeCount; ++i) {
                    if (SameKey(s.key, kKeys[i])) {
                        const std::size_t end = std::min(s.end, s.value + s.valueLength * 2);
                        out.text[i] = s.valueLength ? Utf16Text(res, s.value, end) : std::string();
                        out.found[i] = true;
                    }
                }
                return true;
            });
            return false;
        });
        return !tableFound;
    });
    return tableFound;
}

TVersionInfo::TVersionInfo() { ReadFromProgram(); }

TVersionInfo EmptyVersionInfo() { return TVersionInfo(TVersionInfo::NoRead{}); }

std::string TVersionInfo::GetText(TVersionType type) const { return texts_[type]; }

void TVersionInfo::ReadFromProgram()
{
    texts_[vtCompanyName] = kMakerName;
    texts_[vtFileDescription] = "Tarnel - Database Program";
    texts_[vtFileVersion] = kBuildFileVersion;
    texts_[vtInternalName] = "tarnel";
    texts_[vtLegalCopyright] = std::string("Copyright (C) ") + kBuildYear + " " + kMakerName;
    texts_[vtLegalTradeMark] = "";
    texts_[vtOriginalFileName] = "tarnel";
    texts_[vtProductName] = "Tarnel";
    texts_[vtProductVersion] = kBuildProductVersion;
    texts_[vtComments] = std::string("Built ") + kBuildDate;
}

void TVersionInfo::ReadFromFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || std::size_t(size) > kMaxImage) return;
    in.seekg(0);
    std::string bytes(std::size_t(size), '\0');
    if (!in.read(bytes.data(), size)) return;
    VersionStrings found;
    if (!ReadPeVersionStrings(bytes, fileName, found)) return;
    for (int i = 0; i < kVersionTypeCount; ++i)
        if (found.found[i]) texts_[i] = found.text[i];
}

bool TVersionInfo::GetVersionNumbers(int& major, int& minor, int& release, int& build) const
{
    int* parts[4] = {&major, &minor, &release, &build};
    const std::string& v = texts_[vtFileVersion];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        *parts[i] = 0;
        if (start > v.size()) continue;
        std::size_t dot = v.find('.', start);
        if (dot == std::string::npos) dot = v.size();
        const std::string piece = v.substr(start, dot - start);
        bool digits = !piece.empty() && piece.size() <= 9;
        for (char c : piece) digits = digits && c >= '0' && c <= '9';
        if (digits) *parts[i] = std::stoi(piece);
        start = dot + 1;
    }
    return true;
}

VersionTexts MakeVersionTexts(int year, int month, int day, const std::string& fileVersion)
{
    const std::string y = std::to_string(year);
    const std::string shortYear = y.size() > 2 ? y.substr(2) : std::string();
    const std::size_t dot = fileVersion.rfind('.');
    const std::string build = dot == std::string::npos ? fileVersion : fileVersion.substr(dot + 1);
    VersionTexts t;
    t.version = "Version 5." + shortYear + "." + std::to_string(month) + "." + std::to_string(day) + "." + build;
    t.copyright = "Copyright (C) " + y + " " + kMakerName;
    return t;
}

namespace {
VersionTexts& Texts()
{
    static VersionTexts texts;
    return texts;
}
} // namespace

void BuildVersionTexts()
{
    // The date of the running executable, as the user's local date.
    // An executable whose date cannot be read (outside 1980 to 2107) gives
    // the texts of day 0.
    double when = 0;
    try {
        when = FileDateTime("/proc/self/exe");
    } catch (const std::exception&) {
    }
    const CivilDate d = DateOfDayNumber(static_cast<std::int64_t>(when));
    const TVersionInfo info;
    Texts() = MakeVersionTexts(d.year, d.month, d.day, info.FileVersion());
}

void ClearVersionTexts() { Texts() = {}; }
const std::string& VersionText() { return Texts().version; }
const std::string& CopyrightText() { return Texts().copyright; }

} // namespace tarnel::shell
