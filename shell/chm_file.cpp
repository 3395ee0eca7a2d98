#include "shell/chm_file.h"

#include <chm_lib.h>

#include <cstdint>
#include <stdexcept>

namespace tarnel {

namespace {

uint32_t Le32(const std::string& s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16
        | uint32_t(uint8_t(s[at + 3])) << 24;
}

uint16_t Le16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }

// Text up to the first NUL (stored strings are NUL-terminated, or end with the record).
std::string CString(const std::string& s, size_t at, size_t end)
{
    if (at >= end) return {};
    const size_t nul = s.find('\0', at);
    return s.substr(at, (nul == std::string::npos || nul > end ? end : nul) - at);
}

bool EndsWith(const std::string& s, const char* tail)
{
    const std::string t(tail);
    if (s.size() < t.size()) return false;
    for (size_t i = 0; i < t.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i]) return false;
    return true;
}

int Collect(chmFile*, chmUnitInfo* ui, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(ui->path);
    return CHM_ENUMERATOR_CONTINUE;
}

} // namespace

std::string ChmObjectPath(const std::string& name)
{
    if (!name.empty() && name.front() == '/') return name;
    return "/" + name;
}

ChmFile::ChmFile(const std::string& path) : path_(path)
{
    handle_ = chm_open(path.c_str());
    if (!handle_) throw std::runtime_error("Cannot open the help file \"" + path + "\": it is missing, unreadable or no compiled help file.");
    ReadSystem();
    ReadContexts();
}

ChmFile::~ChmFile()
{
    if (handle_) chm_close(handle_);
}

std::optional<std::string> ChmFile::Read(const std::string& objectPath) const
{
    chmUnitInfo ui;
    if (chm_resolve_object(handle_, objectPath.c_str(), &ui) != CHM_RESOLVE_SUCCESS) return std::nullopt;
    // Objects are small (pages, pictures); a damaged length must not ask for gigabytes.
    if (ui.length > (64u << 20)) return std::nullopt;
    std::string data(static_cast<size_t>(ui.length), '\0');
    if (ui.length == 0) return data;
    const LONGINT64 got = chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                                              static_cast<LONGINT64>(ui.length));
    if (got <= 0) return std::nullopt;
    data.resize(static_cast<size_t>(got));
    return data;
}

bool ChmFile::Contains(const std::string& objectPath) const
{
    chmUnitInfo ui;
    return chm_resolve_object(handle_, objectPath.c_str(), &ui) == CHM_RESOLVE_SUCCESS;
}

std::vector<std::string> ChmFile::Objects() const
{
    std::vector<std::string> all;
    chm_enumerate(handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_META | CHM_ENUMERATE_SPECIAL | CHM_ENUMERATE_FILES,
                  Collect, &all);
    return all;
}

std::vector<std::string> ChmFile::Pages() const
{
    std::vector<std::string> pages;
    for (const std::string& p : Objects()) {
        if (p.size() > 1 && (p[1] == '#' || p[1] == '$')) continue;
        if (EndsWith(p, ".htm") || EndsWith(p, ".html")) pages.push_back(p);
    }
    return pages;
}

std::optional<std::string> ChmFile::Locate(const std::string& name) const
{
    if (name.empty()) return std::nullopt;
    const std::string whole = ChmObjectPath(name);
    if (Contains(whole)) return whole;
    // Drop leading folders one at a time until what is left is stored.
    for (size_t slash = whole.find('/', 1); slash != std::string::npos; slash = whole.find('/', slash + 1)) {
        const std::string tail = whole.substr(slash);
        if (Contains(tail)) return tail;
    }
    return std::nullopt;
}

void ChmFile::ReadSystem()
{
    // #SYSTEM: a 4-byte version, then records of code (2 bytes), length (2 bytes), data.
    const auto system = Read("/#SYSTEM");
    if (!system) return;
    const std::string& s = *system;
    for (size_t at = 4; at + 4 <= s.size();) {
        const uint16_t code = Le16(s, at), length = Le16(s, at + 2);
        const size_t data = at + 4, end = std::min(s.size(), data + length);
        switch (code) {
        case 0: contentsFile_ = ChmObjectPath(CString(s, data, end)); break;
        case 1: indexFile_ = ChmObjectPath(CString(s, data, end)); break;
        case 2: defaultTopic_ = ChmObjectPath(CString(s, data, end)); break;
        case 3: title_ = CString(s, data, end); break;
        default: break;
        }
        at = data + length;
    }
    // Files that do not name their contents or index: the first stored .hhc / .hhk.
    if (contentsFile_.empty() || indexFile_.empty()) {
        for (const std::string& p : Objects()) {
            if (contentsFile_.empty() && EndsWith(p, ".hhc")) contentsFile_ = p;
            if (indexFile_.empty() && EndsWith(p, ".hhk")) indexFile_ = p;
        }
    }
    if (contentsFile_ == "/") contentsFile_.clear();
    if (indexFile_ == "/") indexFile_.clear();
    if (defaultTopic_ == "/") defaultTopic_.clear();
}

void ChmFile::ReadContexts()
{
    // #IVB: a 4-byte byte count, then pairs of (context number, offset into #STRINGS).
    const auto ivb = Read("/#IVB");
    const auto strings = Read("/#STRINGS");
    if (!ivb || !strings || ivb->size() < 4) return;
    const size_t end = std::min<size_t>(ivb->size(), 4 + size_t(Le32(*ivb, 0)));
    for (size_t at = 4; at + 8 <= end; at += 8) {
        const uint32_t number = Le32(*ivb, at), offset = Le32(*ivb, at + 4);
        if (offset >= strings->size()) continue;
        const std::string stored = CString(*strings, offset, strings->size());
        if (const auto topic = Locate(stored)) contexts_[number] = *topic;
    }
}

std::optional<std::string> ChmFile::TopicForContext(unsigned number) const
{
    const auto it = contexts_.find(number);
    if (it == contexts_.end()) return std::nullopt;
    return it->second;
}

} // namespace tarnel
