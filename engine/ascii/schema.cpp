#include "engine/ascii/schema.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "engine/error.h"

namespace tarnel::ascii {

namespace {

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string Upper(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ParseInt(const std::string& s, int& out)
{
    std::string t = Trim(s);
    if (t.empty() || t.size() > 9) return false;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = std::stoi(t);
    return true;
}

struct TypeInfo { const char* name; ColumnKind kind; TFieldType type; int width; };
const TypeInfo kTypes[] = {
    {"CHAR", ColumnKind::Char, ftString, 0},        {"FLOAT", ColumnKind::Float, ftFloat, 20},
    {"NUMBER", ColumnKind::Number, ftSmallint, 6},  {"BOOL", ColumnKind::Bool, ftBoolean, 1},
    {"LONGINT", ColumnKind::LongInt, ftInteger, 11}, {"SHORT", ColumnKind::Short, ftSmallint, 6},
    {"DATE", ColumnKind::Date, ftDate, 10},         {"TIME", ColumnKind::Time, ftTime, 8},
    {"TIMESTAMP", ColumnKind::Timestamp, ftDateTime, 19}, {"BCD", ColumnKind::Bcd, ftBCD, 20},
    {"CURRENCY", ColumnKind::Currency, ftCurrency, 20},
};

// Value of a one-character key: the character itself, or a name for it.
char CharValue(const std::string& raw, char fallback)
{
    std::string v = raw;
    while (!v.empty() && (v.back() == '\r' || v.back() == '\n')) v.pop_back();
    if (v.empty()) return fallback;
    std::string u = Upper(Trim(v));
    if (u == "TAB" || u == "\\T") return '\t';
    if (u == "SPACE") return ' ';
    if (v.size() == 3 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front()) return v[1];
    return v[0] == ' ' && !Trim(v).empty() ? Trim(v)[0] : v[0];
}

} // namespace

int CodePageOfCharset(const std::string& charset)
{
    std::string u = Upper(Trim(charset));
    static const std::map<std::string, int> names = {
        {"ASCII", 437}, {"INTL", 437}, {"INTL850", 850}, {"NORDAN", 865}, {"NORDAN40", 865},
        {"SWEDFIN", 437}, {"SPANISH", 437}, {"CZECH", 852}, {"HUN", 852}, {"POLISH", 852},
        {"SLOVENE", 852}, {"CYRR", 866}, {"TURK", 857}, {"GREEK", 737}, {"ICELAND", 861},
        {"ANSIINTL", 1252}, {"ANSII850", 1252}, {"ANSISWFN", 1252}, {"ANSISPAN", 1252},
        {"ANSINOR4", 1252}, {"ANSIGREEK", 1253}, {"ANSICYR", 1251}, {"ANSIEE", 1250},
        {"ANSITURK", 1254},
    };
    if (u.empty()) return 1252;
    auto it = names.find(u);
    if (it != names.end()) return it->second;
    // dBASE style drivers name their code page: DB437US0, DB850DE0...
    if (u.size() >= 5 && u.compare(0, 2, "DB") == 0 && std::isdigit(static_cast<unsigned char>(u[2]))) {
        int n = 0;
        if (ParseInt(u.substr(2, 3), n)) return n;
    }
    std::string digits = u;
    if (digits.compare(0, 2, "CP") == 0) digits = digits.substr(2);
    int n = 0;
    if (ParseInt(digits, n) && n > 0) return n;
    if (u.compare(0, 4, "ANSI") == 0) return 1252;
    return 0;
}

std::string CharsetOfCodePage(int codePage)
{
    switch (codePage) {
    case 0: case 1252: return "ANSIINTL";
    case 437: return "ascii";
    case 850: return "intl850";
    case 865: return "nordan";
    case 852: return "czech";
    case 866: return "cyrr";
    case 857: return "turk";
    case 1250: return "ANSIEE";
    case 1251: return "ANSICYR";
    default: return "CP" + std::to_string(codePage);
    }
}

Schema ParseSchema(const std::string& text, const std::string& path)
{
    auto fail = [&](const std::string& what) { throw EngineError(path + ": " + what); };
    Schema s;
    bool inSection = false, sectionSeen = false;
    std::map<int, Column> byNumber;
    bool haveType = false;
    size_t pos = 0;
    int lineNo = 0;
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        std::string line = text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? text.size() + 1 : eol + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            if (sectionSeen) break;   // one table per schema: the first section
            auto close = t.find(']');
            if (close == std::string::npos) fail("line " + std::to_string(lineNo) + ": the section name is not closed");
            s.section = Trim(t.substr(1, close - 1));
            inSection = sectionSeen = true;
            continue;
        }
        if (!inSection) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) fail("line " + std::to_string(lineNo) + " is not a KEY=value line");
        std::string key = Upper(Trim(line.substr(0, eq)));
        std::string rawValue = line.substr(eq + 1);
        std::string value = Trim(rawValue);
        if (key == "FILETYPE") {
            std::string u = Upper(value);
            if (u == "FIXED") s.fixed = true;
            else if (u == "VARYING") s.fixed = false;
            else fail("FILETYPE must be FIXED or VARYING, not '" + value + "'");
            haveType = true;
        } else if (key == "CHARSET") {
            s.charset = value;
            s.codePage = CodePageOfCharset(value);
            if (s.codePage == 0) fail("unknown CHARSET '" + value + "'");
        } else if (key == "DELIMITER") {
            s.delimiter = CharValue(rawValue, '"');
        } else if (key == "SEPARATOR") {
            s.separator = CharValue(rawValue, ',');
        } else if (key.size() > 5 && key.compare(0, 5, "FIELD") == 0) {
            int number = 0;
            if (!ParseInt(key.substr(5), number) || number < 1) fail("line " + std::to_string(lineNo) + ": bad key " + key);
            // name,type,width,decimals,offset; the name itself may hold commas
            std::vector<std::string> parts;
            size_t p = 0;
            while (true) {
                size_t c = value.find(',', p);
                parts.push_back(value.substr(p, c == std::string::npos ? std::string::npos : c - p));
                if (c == std::string::npos) break;
                p = c + 1;
            }
            if (parts.size() < 5) fail(key + ": expected name,type,width,decimals,offset");
            std::vector<std::string> tail(parts.end() - 4, parts.end());
            std::string name;
            for (size_t k = 0; k + 4 < parts.size(); ++k) name += (k ? "," : "") + parts[k];
            Column col;
            col.def.name = Trim(name);
            if (col.def.name.empty()) fail(key + ": the field has no name");
            std::string type = Upper(Trim(tail[0]));
            const TypeInfo* info = nullptr;
            for (const auto& ti : kTypes)
                if (type == ti.name) info = &ti;
            if (!info) fail(key + ": unknown field type '" + Trim(tail[0]) + "'");
            if (!ParseInt(tail[1], col.width) || !ParseInt(tail[2], col.decimals) || !ParseInt(tail[3], col.offset))
                fail(key + ": width, decimals and offset must be whole numbers");
            col.kind = info->kind;
            col.def.type = info->type;
            col.def.decimals = col.decimals;
            if (col.kind == ColumnKind::Char) col.def.size = col.width;
            if (col.kind == ColumnKind::Bcd) col.def.size = std::min(col.decimals, 32);
            if (byNumber.count(number)) fail(key + " appears twice");
            byNumber[number] = col;
        }
    }
    if (!sectionSeen) fail("no [table] section; this is not a schema file");
    if (!haveType) fail("FILETYPE is missing");
    if (byNumber.empty()) fail("the schema names no fields");
    std::set<std::string> names;
    int expected = 1;
    for (auto& [number, col] : byNumber) {
        if (number != expected) fail("Field" + std::to_string(expected) + " is missing");
        ++expected;
        if (!names.insert(Upper(col.def.name)).second) fail("the field name '" + col.def.name + "' is used twice");
        if (col.kind == ColumnKind::Char && (col.width < 1 || col.width > 65535))
            fail("the text field '" + col.def.name + "' needs a width of 1 or more");
        if (s.fixed && col.width < 1) fail("the field '" + col.def.name + "' needs a width in a FIXED table");
        if (col.width > 65535 || col.offset > 1000000)
            fail("the width or offset of the field '" + col.def.name + "' is too large");
        col.def.number = number;
        s.columns.push_back(col);
    }
    if (!s.fixed && s.delimiter == s.separator) fail("DELIMITER and SEPARATOR are the same character");
    return s;
}

std::string SchemaText(const Schema& s)
{
    std::string out = "[" + s.section + "]\r\n";
    out += std::string("FILETYPE=") + (s.fixed ? "FIXED" : "VARYING") + "\r\n";
    out += "CHARSET=" + s.charset + "\r\n";
    if (!s.fixed) {
        out += std::string("DELIMITER=") + s.delimiter + "\r\n";
        out += std::string("SEPARATOR=") + s.separator + "\r\n";
    }
    for (size_t k = 0; k < s.columns.size(); ++k) {
        const Column& c = s.columns[k];
        const char* type = "CHAR";
        for (const auto& ti : kTypes)
            if (ti.kind == c.kind) type = ti.name;
        char buf[64];
        std::snprintf(buf, sizeof buf, ",%s,%02d,%02d,%02d\r\n", type, c.width, c.decimals, c.offset);
        out += "Field" + std::to_string(k + 1) + "=" + c.def.name + buf;
    }
    return out;
}

Schema SchemaForFields(const std::vector<FieldDef>& fields, const std::string& section, int codePage,
                       const std::string& path)
{
    if (fields.empty()) throw EngineError(path + ": a table needs at least one field");
    Schema s;
    s.section = section;
    s.codePage = codePage == 0 ? 1252 : codePage;
    s.charset = CharsetOfCodePage(s.codePage);
    int offset = 0;
    std::set<std::string> names;
    for (const auto& def : fields) {
        Column c;
        c.def = def;
        if (def.name.empty() || def.name.find_first_of(",\r\n") != std::string::npos)
            throw EngineError(path + ": the field name '" + def.name + "' cannot be used in an ASCII table");
        if (!names.insert(Upper(def.name)).second)
            throw EngineError(path + ": the field name '" + def.name + "' is used twice");
        auto pick = [&](ColumnKind kind) {
            for (const auto& ti : kTypes)
                if (ti.kind == kind) { c.kind = kind; c.def.type = ti.type; c.width = ti.width; }
        };
        switch (def.type) {
        case ftString: case ftFixedChar: case ftWideString:
            if (def.size < 1) throw EngineError(path + ": the text field '" + def.name + "' needs a size");
            pick(ColumnKind::Char);
            c.width = def.size;
            break;
        case ftSmallint: pick(ColumnKind::Number); break;
        case ftInteger: case ftWord: case ftAutoInc: pick(ColumnKind::LongInt); break;
        case ftBoolean: pick(ColumnKind::Bool); break;
        case ftFloat: pick(ColumnKind::Float); c.decimals = std::max(def.decimals, 0); break;
        case ftCurrency: pick(ColumnKind::Float); break;
        case ftBCD: case ftFMTBcd: pick(ColumnKind::Bcd); c.decimals = def.size; break;
        case ftDate: pick(ColumnKind::Date); break;
        case ftTime: pick(ColumnKind::Time); break;
        case ftDateTime: case ftTimeStamp: pick(ColumnKind::Timestamp); break;
        default:
            throw EngineError(path + ": the field '" + def.name + "' of type " + std::string(EngineTypeName(def.type)) +
                              " cannot be stored in an ASCII table");
        }
        c.def.size = c.kind == ColumnKind::Char ? c.width : (c.kind == ColumnKind::Bcd ? c.decimals : 0);
        c.def.decimals = c.decimals;
        c.def.number = static_cast<int>(s.columns.size()) + 1;
        c.offset = offset;
        offset += c.width;
        s.columns.push_back(c);
    }
    return s;
}

} // namespace tarnel::ascii
