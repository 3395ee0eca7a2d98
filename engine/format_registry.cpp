// The table of formats, and what the engine does with a table as a whole:
// recognise, open, create (safely replacing an old one) and delete.
#include "engine/format_registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>

#include "engine/database.h"
#include "engine/error.h"
#include "engine/fileio/file.h"

namespace tarnel {

// Each format module provides these two.
std::unique_ptr<TableFormat> OpenDbfTable(const std::string& path, TableType type, bool readOnly);
void CreateDbfTable(const std::string& path, const std::vector<FieldDef>& fields,
                    const CreateOptions& options);
std::unique_ptr<TableFormat> OpenParadoxTable(const std::string& path, TableType type, bool readOnly);
void CreateParadoxTable(const std::string& path, const std::vector<FieldDef>& fields,
                        const CreateOptions& options);
std::unique_ptr<TableFormat> OpenAsciiTable(const std::string& path, TableType type, bool readOnly);
void CreateAsciiTable(const std::string& path, const std::vector<FieldDef>& fields,
                      const CreateOptions& options);

namespace {

unsigned Le16(const unsigned char* p) { return p[0] | (p[1] << 8u); }

bool LooksLikeDbf(const unsigned char* h, std::size_t n, std::int64_t size)
{
    static const unsigned char versions[] = {0x02, 0x03, 0x04, 0x30, 0x31, 0x32, 0x43, 0x63,
                                             0x83, 0x8B, 0x8C, 0xCB, 0xF5, 0xFB};
    if (n < 12 || std::memchr(versions, h[0], sizeof versions) == nullptr) return false;
    if (h[0] == 0x02) return true;   // dBASE II: a fixed header with nothing more to check
    unsigned headerLength = Le16(h + 8), recordLength = Le16(h + 10);
    return headerLength >= 33 && recordLength >= 1 && h[2] <= 12 && h[3] <= 31 && headerLength <= size;
}

bool LooksLikeParadox(const unsigned char* h, std::size_t n, std::int64_t size)
{
    if (n < 0x3A) return false;
    unsigned recordSize = Le16(h), headerSize = Le16(h + 2);
    unsigned fileType = h[4], blockCode = h[5], version = h[0x39];
    if (fileType != 0 && fileType != 2) return false;
    if (blockCode != 1 && blockCode != 2 && blockCode != 3 && blockCode != 4 && blockCode != 8 &&
        blockCode != 16 && blockCode != 32)
        return false;
    if (version < 3 || version > 15 || recordSize == 0 || headerSize == 0 || headerSize % 0x800 != 0)
        return false;
    return size >= headerSize && (size - headerSize) % (blockCode * 1024) == 0;
}

// The file types each format holds. Text sizes are the field's size; other
// types ignore it. Keep in step with the module's own mapping (tested).
const std::vector<HeldType> kDbaseTypes = {
    {ftString, "C(size)"}, {ftFixedChar, "C(size)"}, {ftWideString, "C(size)"},
    {ftSmallint, "N(6,0)"}, {ftInteger, "N(11,0)"}, {ftWord, "N(5,0)"}, {ftLargeint, "N(20,0)"},
    {ftBoolean, "L"}, {ftFloat, "N(20,4), or N(size,decimals)"}, {ftCurrency, "N(20,4)"},
    {ftBCD, "N(20,size)"}, {ftFMTBcd, "N(20,size)"}, {ftDate, "D"},
    {ftMemo, "M"}, {ftFmtMemo, "M"}, {ftBlob, "B"}, {ftTypedBinary, "B"},
    {ftGraphic, "G"}, {ftDBaseOle, "G"}, {ftParadoxOle, "G"},
};
const std::vector<HeldType> kFoxProTypes = {
    {ftString, "C(size)"}, {ftFixedChar, "C(size)"}, {ftWideString, "C(size)"},
    {ftSmallint, "I"}, {ftInteger, "I"}, {ftWord, "I"}, {ftLargeint, "N(20,0)"},
    {ftAutoInc, "I, autoincrementing"}, {ftBoolean, "L"}, {ftFloat, "B, or N(size,decimals)"},
    {ftCurrency, "Y"}, {ftBCD, "N(20,size)"}, {ftFMTBcd, "N(20,size)"}, {ftDate, "D"},
    {ftDateTime, "T"}, {ftTimeStamp, "T"}, {ftMemo, "M"}, {ftFmtMemo, "M"},
    {ftBlob, "W"}, {ftTypedBinary, "W"}, {ftGraphic, "G"}, {ftDBaseOle, "G"}, {ftParadoxOle, "G"},
};
const std::vector<HeldType> kParadoxTypes = {
    {ftString, "Alpha(size)"}, {ftFixedChar, "Alpha(size)"}, {ftWideString, "Alpha(size)"},
    {ftSmallint, "Short"}, {ftInteger, "Long Integer"}, {ftWord, "Long Integer"},
    {ftAutoInc, "Autoincrement"}, {ftBoolean, "Logical"}, {ftFloat, "Number"}, {ftCurrency, "Money"},
    {ftBCD, "BCD(size)"}, {ftFMTBcd, "BCD(size)"}, {ftDate, "Date"}, {ftTime, "Time"},
    {ftDateTime, "Timestamp"}, {ftTimeStamp, "Timestamp"}, {ftBytes, "Bytes(size)"},
    {ftVarBytes, "Bytes(size)"}, {ftMemo, "Memo"}, {ftFmtMemo, "Formatted Memo"}, {ftBlob, "Binary"},
    {ftTypedBinary, "Binary"}, {ftGraphic, "Graphic"}, {ftParadoxOle, "OLE"}, {ftDBaseOle, "OLE"},
};
const std::vector<HeldType> kAsciiTypes = {
    {ftString, "CHAR(size)"}, {ftFixedChar, "CHAR(size)"}, {ftWideString, "CHAR(size)"},
    {ftSmallint, "NUMBER"}, {ftInteger, "LONGINT"}, {ftWord, "LONGINT"}, {ftAutoInc, "LONGINT"},
    {ftBoolean, "BOOL"}, {ftFloat, "FLOAT"}, {ftCurrency, "FLOAT"}, {ftBCD, "BCD"}, {ftFMTBcd, "BCD"},
    {ftDate, "DATE"}, {ftTime, "TIME"}, {ftDateTime, "TIMESTAMP"}, {ftTimeStamp, "TIMESTAMP"},
};

const std::vector<std::string> kDbfCompanions = {".dbt", ".fpt", ".mdx", ".cdx"};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string ExtensionOf(const std::string& path)
{
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    return dot == std::string::npos ? std::string() : Lower(base.substr(dot));
}

std::string StemOf(const std::string& path)
{
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    return dot == std::string::npos ? base : base.substr(0, dot);
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether an extension (lower case, with the dot) matches a pattern of the table above.
bool MatchesCompanion(const std::string& ext, const std::string& pattern)
{
    if (ext.size() != pattern.size()) return false;
    for (size_t k = 0; k < ext.size(); ++k) {
        if (pattern[k] == '#' ? !std::isxdigit(static_cast<unsigned char>(ext[k])) : ext[k] != pattern[k])
            return false;
    }
    return true;
}

EngineError UnknownTableType(const std::string& path);

} // namespace

const std::vector<TableFormatInfo>& TableFormats()
{
    static const std::vector<TableFormatInfo> formats = {
        {TableType::dBASE, "dbase", "dBASE", {".dbf"}, kDbfCompanions, nullptr, kDbaseTypes,
         OpenDbfTable, CreateDbfTable, LooksLikeDbf},
        {TableType::FoxPro, "foxpro", "FoxPro", {".dbf"}, kDbfCompanions, nullptr, kFoxProTypes,
         OpenDbfTable, CreateDbfTable, nullptr},   // recognised as dBASE: the module tells them apart
        {TableType::Paradox, "paradox", "Paradox", {".db"},
         {".px", ".mb", ".val", ".x##", ".y##", ".xg#", ".yg#"}, nullptr, kParadoxTypes,
         OpenParadoxTable, CreateParadoxTable, LooksLikeParadox, true},
        {TableType::ASCII, "ascii", "ASCII", {".txt"}, {".sch"}, ".sch", kAsciiTypes,
         OpenAsciiTable, CreateAsciiTable, nullptr},
    };
    return formats;
}

namespace {
EngineError UnknownTableType(const std::string& path)
{
    std::vector<std::string> known;
    for (const auto& f : TableFormats())
        for (const auto& e : f.extensions)
            if (std::find(known.begin(), known.end(), e) == known.end()) known.push_back(e);
    std::string list;
    for (size_t k = 0; k < known.size(); ++k) list += (k == 0 ? "" : k + 1 == known.size() ? " or " : ", ") + known[k];
    return EngineError(path + ": unknown table type (expected a " + list + " file)");
}
} // namespace

const TableFormatInfo& FormatInfo(TableType type)
{
    for (const auto& f : TableFormats())
        if (f.type == type) return f;
    throw EngineError("No table format for the table type " + std::to_string(static_cast<int>(type)));
}

const TableFormatInfo* FormatOfFileName(const std::string& path)
{
    std::string ext = ExtensionOf(path);
    if (ext.empty()) return nullptr;
    for (const auto& f : TableFormats())
        if (std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end()) return &f;
    return nullptr;
}

TableType TableTypeOfFile(const std::string& path)
{
    const TableFormatInfo* f = FormatOfFileName(path);
    return f ? f->type : TableType::Default;
}

const char* TableTypeName(TableType type)
{
    if (type == TableType::Default) return "default";
    return FormatInfo(type).name;
}

bool ParseTableType(const std::string& name, TableType& type)
{
    std::string lower = Lower(name);
    if (lower == "default") {
        type = TableType::Default;
        return true;
    }
    for (const auto& f : TableFormats())
        if (lower == f.name) {
            type = f.type;
            return true;
        }
    return false;
}

TableType ResolveTableType(const std::string& path, TableType asked)
{
    if (asked != TableType::Default) return asked;
    const TableFormatInfo* byName = FormatOfFileName(path);
    unsigned char head[128] = {};
    std::size_t n = 0;
    std::int64_t size = 0;
    try {
        File file = File::open(path, true);
        size = file.size();
        n = file.readAt(0, head, sizeof head);
    } catch (const EngineError&) {
        // Unreadable: the extension decides, and opening says what is wrong.
    }
    if (n > 0) {
        if (byName && byName->looksLike && byName->looksLike(head, n, size)) return byName->type;
        for (const auto& f : TableFormats())
            if (f.looksLike && f.looksLike(head, n, size)) return f.type;
    }
    if (byName) return byName->type;
    throw UnknownTableType(path);
}

std::unique_ptr<TableFormat> OpenTableFormat(const std::string& path, TableType type, bool readOnly)
{
    TableType resolved = ResolveTableType(path, type);
    // A dBASE file opened by its content tells dBASE and FoxPro apart itself.
    return FormatInfo(resolved).open(path, type == TableType::Default ? TableType::Default : resolved, readOnly);
}

const HeldType& HeldTypeOf(TableType type, const FieldDef& field, const std::string& table)
{
    const TableFormatInfo& f = FormatInfo(type);
    for (const auto& h : f.holds)
        if (h.type == field.type) return h;
    throw EngineError("Cannot create " + table + ": field " + field.name + " has the type " +
                      std::string(EngineTypeName(field.type)).substr(2) + ", which " + f.title +
                      " tables cannot hold");
}

std::vector<std::string> TableFiles(const std::string& path, TableType type)
{
    std::string folder = FolderOf(path);
    std::string stem = Lower(StemOf(path));
    std::string dataName = Lower(BaseName(path));
    std::vector<const TableFormatInfo*> formats;
    if (type != TableType::Default) formats.push_back(&FormatInfo(type));
    if (const TableFormatInfo* byName = FormatOfFileName(path)) formats.push_back(byName);
    std::vector<std::string> data, companions;
    for (const auto& name : FolderEntries(folder)) {
        std::string lower = Lower(name);
        std::string full = folder.empty() ? name : JoinPath(folder, name);
        if (lower == dataName) {
            data.push_back(full);
            continue;
        }
        if (lower.size() <= stem.size() || lower.compare(0, stem.size(), stem) != 0 || lower[stem.size()] != '.')
            continue;
        std::string ext = lower.substr(stem.size());
        for (const auto* f : formats)
            for (const auto& c : f->companions)
                if (MatchesCompanion(ext, c) &&
                    std::find(companions.begin(), companions.end(), full) == companions.end())
                    companions.push_back(full);
    }
    std::sort(companions.begin(), companions.end());
    data.insert(data.end(), companions.begin(), companions.end());
    return data;
}

namespace {

// A private folder for work on a table; a failure names the table.
std::string PrivateFolderFor(const std::string& table, const std::string& folder, const char* prefix)
{
    try {
        return MakePrivateFolder(folder, prefix);
    } catch (const EngineError& e) {
        throw EngineError(table + ": " + e.what());
    }
}

// Files moved into a private folder, and back on failure.
class MovedAside {
public:
    MovedAside(const std::string& folder, const std::vector<std::string>& files) : from_(folder)
    {
        if (files.empty()) return;
        aside_ = PrivateFolderFor(BaseName(files.front()), folder, ".tarnel-old-");
        try {
            for (const auto& f : files) {
                std::string to = aside_ + "/" + BaseName(f);
                RenameFile(f, to);
                moved_.emplace_back(f, to);
            }
        } catch (...) {
            restore();
            throw;
        }
    }
    // Puts every file back where it was (on failure of what followed).
    void restore() noexcept
    {
        for (auto it = moved_.rbegin(); it != moved_.rend(); ++it) {
            try {
                RenameFile(it->second, it->first);
            } catch (...) {
                keep_ = true;   // never delete the only copy
            }
        }
        moved_.clear();
        finish();
    }
    // The files are no longer needed.
    void finish() noexcept
    {
        if (aside_.empty()) return;
        if (keep_) return;
        RemoveFolderAndFiles(aside_);
        aside_.clear();
    }
    const std::string& folder() const { return aside_; }
    bool kept() const { return keep_; }

private:
    std::string from_, aside_;
    std::vector<std::pair<std::string, std::string>> moved_;
    bool keep_ = false;
};

} // namespace

void CreateTableFiles(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options)
{
    CreateOptions o = options;
    if (o.type == TableType::Default) {
        const TableFormatInfo* byName = FormatOfFileName(path);
        if (!byName) throw UnknownTableType(path);
        o.type = byName->type;
    }
    const TableFormatInfo& format = FormatInfo(o.type);
    const std::string table = BaseName(path);
    for (const auto& f : fields) {
        (void)HeldTypeOf(o.type, f, table);
        if (f.key && !format.keyed)
            throw EngineError(table + ": " + format.title + " tables have no primary key; field " + f.name +
                              " cannot be a key field");
    }

    // The new table is made complete in a private folder beside the old one,
    // then the old files are moved aside and the new ones into place.
    const std::string folder = FolderOf(path);
    const std::string fresh = PrivateFolderFor(table, folder, ".tarnel-new-");
    try {
        format.create(fresh + "/" + table, fields, o);
    } catch (...) {
        RemoveFolderAndFiles(fresh);
        throw;
    }
    std::vector<std::string> made = FolderEntries(fresh);
    // Nobody may be writing the table being replaced while it is.
    File held;
    std::unique_ptr<File::Lock> lock;
    std::vector<std::string> old;
    try {
        old = TableFiles(path, o.type);
        if (!old.empty() && SameText(BaseName(old.front()), table)) {
            held = File::open(old.front(), false);
            lock = std::make_unique<File::Lock>(held);
        }
    } catch (...) {
        RemoveFolderAndFiles(fresh);
        throw;
    }
    std::unique_ptr<MovedAside> aside;
    try {
        aside = std::make_unique<MovedAside>(folder, old);
    } catch (...) {
        RemoveFolderAndFiles(fresh);
        throw;
    }
    std::vector<std::string> placed;
    try {
        for (const auto& name : made) {
            std::string to = folder.empty() ? name : JoinPath(folder, name);
            RenameFile(fresh + "/" + name, to);
            placed.push_back(to);
        }
    } catch (const EngineError& e) {
        for (const auto& p : placed) ::unlink(p.c_str());
        aside->restore();
        RemoveFolderAndFiles(fresh);
        if (aside->kept())
            throw EngineError(std::string(e.what()) + "; the old table's files are kept in " + aside->folder());
        throw;
    }
    lock.reset();
    held.close();
    aside->finish();
    RemoveFolderAndFiles(fresh);
}

void DeleteTableFiles(const std::string& path, TableType type)
{
    std::vector<std::string> files = TableFiles(path, type);
    if (files.empty() || !SameText(BaseName(files.front()), BaseName(path)))
        throw EngineError("Table does not exist: " + path);
    MovedAside aside(FolderOf(path), files);
    aside.finish();
}

} // namespace tarnel
