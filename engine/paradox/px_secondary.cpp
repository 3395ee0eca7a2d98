// Reading and writing the secondary indexes of a Paradox table.
#include "engine/paradox/px_secondary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/bytes.h"
#include "engine/error.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"
#include "engine/paradox/px_header.h"
#include "engine/paradox/px_table.h"

namespace tarnel::paradox {

namespace {

// The index options byte in the X file's header.
constexpr int kOptions = 0x57;
constexpr unsigned char kUnique = 0x01, kDescending = 0x02, kCaseInsensitive = 0x04;
constexpr const char* kHint = "Hint";

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The extension after the table's stem, in upper case ("X02", "XG0").
std::string Suffix(const std::string& path)
{
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    return dot == std::string::npos ? std::string() : Upper(base.substr(dot + 1));
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The Y file beside an X file (or the X file beside a Y file): the same
// name with the other letter, in the same case.
std::string IndexPathOf(const std::string& path, char letter = 'Y')
{
    std::string other = path;
    auto dot = other.find_last_of('.');
    if (dot != std::string::npos && dot + 1 < other.size())
        other[dot + 1] = std::islower(static_cast<unsigned char>(other[dot + 1])) ? char(std::tolower(letter)) : letter;
    return other;
}

int Compare(const Value& a, const Value& b, bool caseInsensitive)
{
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    const bool text = a.kind == Value::Kind::Text || a.kind == Value::Kind::Bytes;
    if (text) {
        int c = caseInsensitive ? Upper(a.s).compare(Upper(b.s)) : a.s.compare(b.s);
        return c < 0 ? -1 : c > 0;
    }
    if (a.kind == Value::Kind::Int && b.kind == Value::Kind::Int) return a.i < b.i ? -1 : a.i > b.i;
    const double x = a.kind == Value::Kind::Int ? double(a.i) : a.f, y = b.kind == Value::Kind::Int ? double(b.i) : b.f;
    return x < y ? -1 : x > y;
}

} // namespace

std::vector<std::string> FindSecondaryIndexFiles(const std::string& dbPath)
{
    std::vector<std::string> found;
    for (const std::string& f : CompanionFiles(dbPath))
        if (Suffix(f)[0] == 'X') found.push_back(f);
    return found;
}

bool EntryLess(const SecondaryIndex& index, const std::vector<Value>& a, const std::vector<Value>& b, size_t count)
{
    for (size_t k = 0; k < count && k < a.size() && k < b.size(); ++k) {
        const bool indexed = k < index.fields.size();
        int c = Compare(a[k], b[k], indexed && index.caseInsensitive);
        if (indexed && index.descending) c = -c;
        if (c != 0) return c < 0;
    }
    return false;
}

SecondaryIndex ReadSecondaryIndex(const std::string& path, const std::vector<FieldDef>& tableFields)
{
    const std::string name = BaseName(path);
    auto damaged = [&](const std::string& why) -> void {
        throw EngineError("The index file " + name + " is damaged: " + why + ".");
    };
    SecondaryIndex index;
    index.path = path;
    index.indexPath = IndexPathOf(path);
    const std::string suffix = Suffix(path);
    index.composite = suffix.size() == 3 && suffix[1] == 'G';

    std::string raw;
    std::vector<FieldDef> defs;
    int keyFields = 0, keyWidth = 0;
    try {
        ParadoxTable entries(path, true, true);   // checks the header and the chain of blocks
        defs = entries.fields();
        keyFields = static_cast<int>(entries.primaryKey().size());
        File file = File::open(path, true);
        unsigned char start[4] = {};
        file.readExact(0, start, sizeof start, "the header");
        raw.resize(GetLe16(start + hdr::HeaderSize));
        file.readExact(0, raw.data(), raw.size(), "the header");
        const PxHeader header = ParseHeader(raw, file.size(), name, true);
        for (int k = 0; k < keyFields; ++k) keyWidth += header.fields[size_t(k)].width;
    } catch (const EngineError& e) {
        std::string why = e.what();
        if (why.rfind(name + ": ", 0) == 0) why.erase(0, name.size() + 2);
        while (!why.empty() && why.back() == '.') why.pop_back();
        damaged(why);
    }
    const auto* h = reinterpret_cast<const unsigned char*>(raw.data());
    if (defs.size() < 2 || defs.back().name != kHint || defs.back().type != ftSmallint)
        damaged("its entries do not end in the hint field");
    if (keyFields < 1 || keyFields >= static_cast<int>(defs.size()))
        damaged("it keys " + std::to_string(keyFields) + " of its " + std::to_string(defs.size()) + " fields");
    for (int k = 0; k < keyFields; ++k) {
        auto it = std::find_if(tableFields.begin(), tableFields.end(),
                               [&](const FieldDef& f) { return Upper(f.name) == Upper(defs[size_t(k)].name); });
        if (it == tableFields.end()) damaged("it keys the field " + defs[size_t(k)].name + ", which the table does not have");
        const bool sameType = it->type == defs[size_t(k)].type || (it->type == ftAutoInc && defs[size_t(k)].type == ftInteger);
        if (!sameType || it->size != defs[size_t(k)].size)
            damaged("its field " + defs[size_t(k)].name + " differs from the table's");
        index.fields.push_back(static_cast<int>(it - tableFields.begin()));
    }
    index.incremental = h[hdr::FileType] == kSecondaryIncremental || h[hdr::FileType] == kCompositeIncremental;
    const unsigned char options = h[kOptions];
    index.unique = options & kUnique;
    index.descending = options & kDescending;
    index.caseInsensitive = options & kCaseInsensitive;
    if (index.composite) {
        const int at = TableNameOffset(h[hdr::Version], h[hdr::FileType], static_cast<int>(defs.size()));
        if (at >= static_cast<int>(raw.size())) damaged("its header ends before the index's name");
        size_t end = static_cast<size_t>(at);
        const size_t limit = std::min(raw.size(), end + static_cast<size_t>(TableNameLength(h[hdr::Version])));
        while (end < limit && raw[end] != '\0') ++end;
        index.name = raw.substr(static_cast<size_t>(at), end - static_cast<size_t>(at));
        if (index.name.empty()) damaged("the composite index has no name");
    } else {
        const int number = suffix.size() == 3 ? HexDigit(suffix[1]) * 16 + HexDigit(suffix[2]) : -1;
        if (keyFields != 1 || number != index.fields.front() + 1)
            damaged("its entries do not key field number " + std::to_string(number) + " alone");
        index.name = tableFields[size_t(index.fields.front())].name;
    }

    // The Y file: the X file's primary index.
    File y = [&] {
        try {
            return File::open(index.indexPath, true);
        } catch (const EngineError&) {
            damaged("its index " + BaseName(index.indexPath) + " is missing");
        }
        return File();
    }();
    unsigned char yh[0x58] = {};
    if (y.readAt(0, yh, sizeof yh) != sizeof yh) damaged("its index " + BaseName(index.indexPath) + " is truncated");
    const int expectedType = index.composite ? kCompositeIndex : kSecondaryIndex;
    if (yh[hdr::FileType] != expectedType || GetLe16(yh + hdr::RecordSize) != keyWidth + 6 ||
        GetLe16(yh + hdr::NumFields) != keyFields)
        damaged("its index " + BaseName(index.indexPath) + " does not fit its entries");
    return index;
}

} // namespace tarnel::paradox

namespace tarnel::paradox {

std::vector<std::vector<Value>> ReadSecondaryEntries(const SecondaryIndex& index)
{
    ParadoxTable entries(index.path, true, true);
    std::vector<std::vector<Value>> out;
    const int fields = static_cast<int>(entries.fields().size());
    for (std::int64_t r = 0; r < entries.physicalCount(); ++r) {
        std::vector<Value> row;
        for (int f = 0; f < fields; ++f) row.push_back(entries.value(r, f));
        out.push_back(std::move(row));
    }
    return out;
}

namespace {

// The index's X and Y files made under names of their own beside the table.
struct MadeIndex {
    std::string temp, tempIndex;
    void remove() const
    {
        std::remove(temp.c_str());
        std::remove(tempIndex.c_str());
    }
};

MadeIndex MakeSecondaryFiles(ParadoxTable& table, const SecondaryIndex& index)
{
    const std::vector<FieldDef>& tableFields = table.fields();
    std::vector<int> columns = index.fields;
    for (int k : table.primaryKey())
        if (std::find(columns.begin(), columns.end(), k) == columns.end()) columns.push_back(k);
    std::vector<FieldDef> defs;
    for (int c : columns) {
        FieldDef d = tableFields.at(size_t(c));
        d.key = false;
        d.required = false;
        if (d.type == ftAutoInc) d.type = ftInteger;   // entries copy the numbers, they do not count
        defs.push_back(d);
    }
    FieldDef hint;
    hint.name = kHint;
    hint.type = ftSmallint;
    defs.push_back(hint);
    for (size_t k = 0; k < defs.size(); ++k) defs[k].number = static_cast<int>(k + 1);

    std::vector<std::vector<Value>> rows;
    rows.reserve(static_cast<size_t>(table.physicalCount()));
    for (std::int64_t r = 0; r < table.physicalCount(); ++r) {
        std::vector<Value> row;
        for (int c : columns) row.push_back(table.value(r, c));
        row.push_back(Value::integer(table.blockNumberOf(r)));
        rows.push_back(std::move(row));
    }
    const size_t ordered = columns.size();
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const auto& a, const auto& b) { return EntryLess(index, a, b, ordered); });
    if (index.unique) {
        const size_t n = index.fields.size();
        auto same = [&](const auto& a, const auto& b) { return !EntryLess(index, a, b, n) && !EntryLess(index, b, a, n); };
        if (std::adjacent_find(rows.begin(), rows.end(), same) != rows.end())
            throw EngineError("Two records would have the same key in the index " + index.name + " (" +
                              BaseName(index.path) + "), which allows each key once.");
    }

    const std::string folder = index.path.substr(0, index.path.size() - BaseName(index.path).size());
    MadeIndex made;
    made.temp = folder + "~" + BaseName(index.path) + ".db";
    made.tempIndex = fileio::WithExtension(made.temp, ".px");
    made.remove();
    try {
        CreateParadoxFiles(made.temp, defs, table.codePage());
        {
            ParadoxTable entries(made.temp, false);   // a plain table until its header says otherwise
            entries.beginAppends();
            for (const auto& row : rows) entries.appendRecord(row);
            entries.endAppends();
        }
        {
            File file = File::open(made.temp, false);
            unsigned char start[0x58];
            file.readExact(0, start, sizeof start, "the header");
            const unsigned char type = index.composite ? (index.incremental ? kCompositeIncremental : kCompositeEntries)
                                                       : (index.incremental ? kSecondaryIncremental : kSecondaryEntries);
            const unsigned char options = (index.unique ? kUnique : 0) | (index.descending ? kDescending : 0) |
                                          (index.caseInsensitive ? kCaseInsensitive : 0);
            unsigned char keys[2];
            PutLe16(keys, static_cast<std::uint16_t>(index.fields.size()));
            file.writeAt(hdr::FileType, &type, 1);
            file.writeAt(hdr::KeyFields, keys, 2);
            file.writeAt(kOptions, &options, 1);
            const int version = start[hdr::Version];
            std::string stored = index.composite ? index.name : std::string();
            stored.resize(static_cast<size_t>(TableNameLength(version)), '\0');
            file.writeAt(TableNameOffset(version, type, static_cast<int>(defs.size())), stored.data(), stored.size());
            file.close();
        }
        {
            ParadoxTable entries(made.temp, false, true);
            entries.rebuildIndex();
        }
        {
            File file = File::open(made.tempIndex, false);
            const unsigned char type = index.composite ? kCompositeIndex : kSecondaryIndex;
            file.writeAt(hdr::FileType, &type, 1);
            file.close();
        }
    } catch (...) {
        made.remove();
        throw;
    }
    return made;
}

// An error while writing the index, naming its file.
EngineError IndexWriteError(const SecondaryIndex& index, const std::exception& e)
{
    const std::string name = BaseName(index.path), why = e.what();
    if (why.find("(" + name + ")") != std::string::npos) return EngineError(why);   // named already
    return EngineError("The index file " + name + " could not be written: " + why);
}

} // namespace

void WriteSecondaryIndex(ParadoxTable& table, const SecondaryIndex& index)
{
    WriteSecondaryIndexes(table, {index});
}

void WriteSecondaryIndexes(ParadoxTable& table, const std::vector<SecondaryIndex>& indexes, size_t* written)
{
    if (written) *written = 0;
    std::vector<MadeIndex> made;
    auto removeMade = [&](size_t from) {
        for (size_t k = from; k < made.size(); ++k) made[k].remove();
    };
    for (const SecondaryIndex& index : indexes) {
        try {
            made.push_back(MakeSecondaryFiles(table, index));
        } catch (const std::exception& e) {
            removeMade(0);
            throw IndexWriteError(index, e);
        }
    }
    for (size_t k = 0; k < indexes.size(); ++k) {
        try {
            RenameFile(made[k].temp, indexes[k].path);
            RenameFile(made[k].tempIndex, IndexPathOf(indexes[k].path));
        } catch (const std::exception& e) {
            removeMade(k);
            throw IndexWriteError(indexes[k], e);
        }
        if (written) *written = k + 1;
    }
}

std::vector<SecondaryIndex> KeptSecondaryIndexes(const std::string& dbPath, const std::vector<FieldDef>& fields,
                                                 std::string& blocked)
{
    blocked.clear();
    std::vector<SecondaryIndex> kept;
    auto block = [&](const std::string& file, const std::string& why) {
        blocked = BaseName(dbPath) + ": its index file " + BaseName(file) +
                  " cannot be kept up to date; the table is open read-only (" + why + ")";
        kept.clear();
    };
    for (const std::string& f : CompanionFiles(dbPath)) {
        // A Y file without its X file is what is left of an index.
        const std::string suffix = Suffix(f);
        if (suffix.size() == 3 && suffix[0] == 'Y' && !fileio::FileExists(IndexPathOf(f, 'X'))) {
            block(f, "The index file " + BaseName(f) + " has no entries file beside it.");
            return kept;
        }
    }
    for (const std::string& path : FindSecondaryIndexFiles(dbPath)) {
        try {
            kept.push_back(ReadSecondaryIndex(path, fields));
        } catch (const EngineError& e) {
            block(path, e.what());
            return kept;
        }
    }
    return kept;
}

std::vector<SavedSecondaryIndex> SaveSecondaryIndexes(const std::string& dbPath)
{
    std::vector<SavedSecondaryIndex> saved;
    const std::vector<std::string> files = FindSecondaryIndexFiles(dbPath);
    if (files.empty()) return saved;
    std::vector<FieldDef> fields;
    std::string unreadable;
    try {
        fields = ParadoxTable(dbPath, true).fields();
    } catch (const EngineError& e) {
        unreadable = e.what();
    }
    for (const std::string& path : files) {
        SavedSecondaryIndex s;
        s.index.path = path;
        s.index.name = BaseName(path);
        try {
            if (!unreadable.empty()) throw EngineError(unreadable);
            s.index = ReadSecondaryIndex(path, fields);
            for (int f : s.index.fields) s.fieldNames.push_back(fields[size_t(f)].name);
        } catch (const EngineError& e) {
            s.damage = e.what();
        }
        saved.push_back(std::move(s));
    }
    return saved;
}

std::vector<std::string> RestoreSecondaryIndexes(const std::string& dbPath, const std::vector<SavedSecondaryIndex>& saved)
{
    std::vector<std::string> dropped;
    if (saved.empty()) return dropped;
    ParadoxTable table(dbPath, false);
    const std::vector<FieldDef>& fields = table.fields();
    const std::string folder = dbPath.substr(0, dbPath.size() - BaseName(dbPath).size());
    std::string stem = BaseName(dbPath);
    stem = stem.substr(0, stem.find_last_of('.'));
    std::vector<SecondaryIndex> kept;
    for (const SavedSecondaryIndex& s : saved) {
        const std::string file = BaseName(s.index.path);
        if (!s.damage.empty()) {
            dropped.push_back("the index file " + file + " (" + s.damage + ")");
            continue;
        }
        SecondaryIndex index = s.index;
        index.fields.clear();
        std::string list;
        for (const std::string& name : s.fieldNames) {
            list += (list.empty() ? "" : ",") + name;
            auto it = std::find_if(fields.begin(), fields.end(), [&](const FieldDef& f) { return Upper(f.name) == Upper(name); });
            if (it != fields.end() && !IsBlobType(it->type)) index.fields.push_back(static_cast<int>(it - fields.begin()));
        }
        if (index.fields.size() != s.fieldNames.size()) {
            dropped.push_back(s.index.name + " of " + file + " (" + list + ")");
            continue;
        }
        if (!index.composite) {
            // Named after the field's number, which may have changed.
            static const char* kHex = "0123456789ABCDEF";
            const int number = index.fields.front() + 1;
            const std::string old = BaseName(s.index.path);
            const char x = std::islower(static_cast<unsigned char>(old[old.find_last_of('.') + 1])) ? 'x' : 'X';
            index.path = folder + stem + "." + x + kHex[number / 16] + kHex[number % 16];
            index.name = fields[size_t(index.fields.front())].name;
        }
        index.indexPath = IndexPathOf(index.path);
        kept.push_back(index);
    }
    WriteSecondaryIndexes(table, kept);
    return dropped;
}

} // namespace tarnel::paradox
