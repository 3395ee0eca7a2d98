// Creating dBASE and FoxPro tables from field definitions (the type mapping is
// listed in dbf_header.h).
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/bytes.h"
#include "engine/codepage.h"
#include "engine/database.h"
#include "engine/dbf/dbf_memo.h"
#include "engine/error.h"
#include "engine/fileio/file.h"
#include "engine/table_format.h"

namespace tarnel {

namespace {

struct Planned {
    std::string name;   // encoded
    char letter;
    int length;
    int decimals;
    std::uint8_t flags = 0;
};

Planned Plan(const FieldDef& f, bool fox, const std::string& table)
{
    auto unsupported = [&]() -> EngineError {
        return EngineError("Cannot create " + table + ": field " + f.name + " has the type " +
                           std::string(EngineTypeName(f.type)).substr(2) + ", which " +
                           (fox ? "FoxPro" : "dBASE") + " tables cannot hold");
    };
    auto width = [&](int fallback) { return f.size > 0 && f.size <= 20 ? f.size : fallback; };
    switch (f.type) {
    case ftString: case ftFixedChar: case ftWideString:
        if (f.size < 1 || f.size > 254)
            throw EngineError("Cannot create " + table + ": field " + f.name + " has the size " +
                              std::to_string(f.size) + " (1 to 254 allowed)");
        return {"", 'C', f.size, 0};
    case ftSmallint: return fox ? Planned{"", 'I', 4, 0} : Planned{"", 'N', width(6), 0};
    case ftWord: return fox ? Planned{"", 'I', 4, 0} : Planned{"", 'N', width(5), 0};
    case ftInteger: return fox ? Planned{"", 'I', 4, 0} : Planned{"", 'N', width(11), 0};
    case ftLargeint: return {"", 'N', 20, 0};
    case ftBoolean: return {"", 'L', 1, 0};
    case ftFloat:
        if (f.size > 0 || !fox) {
            // A number field keeps decimals, so that it reads back as Float.
            int w = std::max(width(20), 3);
            int d = f.decimals > 0 ? f.decimals : (f.decimals == kNoDecimals ? 0 : 4);
            if (d > w - 2) d = std::max(1, w - 2);
            return {"", 'N', w, d};
        }
        return {"", 'B', 8, 0};
    case ftCurrency: return fox ? Planned{"", 'Y', 8, 4} : Planned{"", 'N', 20, 4};
    case ftBCD: case ftFMTBcd: return {"", 'N', 20, std::min(std::max(f.size, 0), 18)};
    case ftDate: return {"", 'D', 8, 0};
    case ftDateTime: case ftTimeStamp:
        if (!fox) throw unsupported();
        return {"", 'T', 8, 0};
    case ftAutoInc:
        if (!fox) throw unsupported();
        return {"", 'I', 4, 0, 0x0C};
    case ftMemo: case ftFmtMemo: return {"", 'M', fox ? 4 : 10, 0};
    case ftBlob: case ftTypedBinary: return fox ? Planned{"", 'W', 4, 0} : Planned{"", 'B', 10, 0};
    case ftGraphic: case ftDBaseOle: case ftParadoxOle: return {"", 'G', fox ? 4 : 10, 0};
    default: throw unsupported();
    }
}


std::string FolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

void CreateDbfTable(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options)
{
    const std::string table = BaseName(path);
    const bool fox = options.type == TableType::FoxPro;
    auto cp = CodePage::get(options.codePage > 0 ? options.codePage : 1252);
    std::vector<Planned> planned;
    bool memo = false, autoInc = false;
    for (const auto& f : fields) {
        Planned p = Plan(f, fox, table);
        std::string bad;
        if (!cp->encode(f.name, p.name, &bad))
            throw EngineError("Cannot create " + table + ": the field name " + f.name +
                              " cannot be written in code page " + std::to_string(cp->number()));
        if (p.name.empty() || p.name.size() > 10)
            throw EngineError("Cannot create " + table + ": the field name " + f.name +
                              " must have 1 to 10 characters");
        memo = memo || p.letter == 'M' || p.letter == 'G' || p.letter == 'W' || (p.letter == 'B' && !fox);
        autoInc = autoInc || p.flags == 0x0C;
        planned.push_back(std::move(p));
    }

    // FoxPro tables keep NULLs in a system field of null bits, one per field.
    if (fox && !planned.empty()) {
        int bits = 0;
        for (auto& p : planned)
            if (p.flags != 0x0C) {
                p.flags = 0x02;
                ++bits;
            }
        if (bits > 0) planned.push_back({"_NullFlags", '0', (bits + 7) / 8, 0, 0x05});
    }
    const int headerLength = 32 + 32 * static_cast<int>(planned.size()) + 1 + (fox ? 263 : 0);
    int recordLength = 1;
    for (const auto& p : planned) recordLength += p.length;
    if (recordLength > 65535 || headerLength > 65535)
        throw EngineError("Cannot create " + table + ": too many or too wide fields");

    std::vector<unsigned char> header(static_cast<size_t>(headerLength), 0);
    header[0] = fox ? (autoInc ? 0x31 : 0x30) : (memo ? 0x8B : 0x03);
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    header[1] = static_cast<unsigned char>(tm.tm_year % 256);
    header[2] = static_cast<unsigned char>(tm.tm_mon + 1);
    header[3] = static_cast<unsigned char>(tm.tm_mday);
    PutLe16(&header[8], static_cast<std::uint16_t>(headerLength));
    PutLe16(&header[10], static_cast<std::uint16_t>(recordLength));
    if (fox && memo) header[28] = 0x02;
    header[29] = LanguageDriverOfCodePage(cp->number());
    int offset = 1;
    for (size_t k = 0; k < planned.size(); ++k) {
        unsigned char* d = &header[32 + 32 * k];
        const Planned& p = planned[k];
        std::memcpy(d, p.name.data(), p.name.size());
        d[11] = static_cast<unsigned char>(p.letter);
        if (fox) PutLe32(d + 12, static_cast<std::uint32_t>(offset));
        d[16] = static_cast<unsigned char>(p.length);
        d[17] = static_cast<unsigned char>(p.decimals);
        d[18] = p.flags;
        if (p.flags == 0x0C) {
            PutLe32(d + 19, 1);
            d[23] = 1;
        }
        offset += p.length;
    }
    header[32 + 32 * planned.size()] = 0x0D;

    // The registry has us write into a fresh folder and moves the files into place.
    std::string base = table;
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string memoPath = JoinPath(FolderOf(path), stem + (fox ? ".fpt" : ".dbt"));
    File f = File::create(path);
    header.push_back(0x1A);
    f.writeAt(0, header.data(), header.size());
    f.sync();
    f.close();
    if (memo) DbfMemo::create(memoPath, fox ? DbfMemo::Style::FoxPro : DbfMemo::Style::DBase4, stem);
}

} // namespace tarnel
