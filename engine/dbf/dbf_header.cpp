#include "engine/dbf/dbf_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/bytes.h"
#include "engine/error.h"
#include "engine/fileio/file.h"

namespace tarnel {

namespace {


[[noreturn]] void Fail(const std::string& fileName, const std::string& what)
{
    throw EngineError(BaseName(fileName) + ": " + what);
}

DbfFlavor FlavorOf(const std::string& fileName, std::uint8_t version, MemoKind& memo)
{
    memo = MemoKind::None;
    switch (version) {
    case 0x02: return DbfFlavor::DBase2;
    case 0x03: case 0x43: case 0x63: return DbfFlavor::DBase3;
    case 0x83: memo = MemoKind::Dbt; return DbfFlavor::DBase3;
    case 0x8B: case 0xCB: memo = MemoKind::Dbt; return DbfFlavor::DBase4;
    case 0x04: return DbfFlavor::DBase7;
    case 0x8C: memo = MemoKind::Dbt; return DbfFlavor::DBase7;
    case 0x30: case 0x31: case 0x32: memo = MemoKind::Fpt; return DbfFlavor::VisualFoxPro;
    case 0xF5: case 0xFB: memo = MemoKind::Fpt; return DbfFlavor::FoxPro;
    default: break;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", version);
    Fail(fileName, std::string("not a dBASE or FoxPro table (unknown version byte ") + hex + ")");
}

struct Rule { int minLength; int maxLength; };

// Field lengths each file field letter allows.
bool LengthRule(const DbfHeader& h, char letter, Rule& rule)
{
    bool fox = h.isFoxPro();
    switch (letter) {
    case 'C': rule = {1, 255}; return true;
    case 'N': case 'F': rule = {1, 32}; return true;
    case 'L': rule = {1, 1}; return true;
    case 'D': rule = {8, 8}; return true;
    case 'M': case 'G': case 'P': case 'W': rule = fox ? Rule{4, 10} : Rule{10, 10}; return true;
    case 'B': rule = fox ? Rule{8, 8} : Rule{10, 10}; return true;
    case 'I': case '+': rule = {4, 4}; return true;
    case 'Y': case 'T': case 'O': case '@': rule = {8, 8}; return true;
    case 'V': case 'Q': rule = {1, 254}; return true;
    case '0': rule = {1, 255}; return true;
    default: return false;
    }
}

TFieldType TypeOf(const DbfHeader& h, const DbfField& f)
{
    bool fox = h.isFoxPro();
    switch (f.letter) {
    case 'C': return ftString;
    case 'N': case 'F': return f.decimals == 0 && f.length <= 9 ? ftInteger : ftFloat;
    case 'L': return ftBoolean;
    case 'D': return ftDate;
    case 'M': return ftMemo;
    case 'B': return fox ? ftFloat : ftBlob;
    case 'G': case 'P': return ftGraphic;
    case 'W': return ftBlob;
    case 'I': return fox && (f.flags & 0x0C) == 0x0C ? ftAutoInc : ftInteger;
    case '+': return ftAutoInc;
    case 'Y': return ftCurrency;
    case 'T': case '@': return ftDateTime;
    case 'O': return ftFloat;
    case 'V': return ftString;
    case 'Q': return ftVarBytes;
    default: return ftUnknown;
    }
}

} // namespace

int DbfHeaderLength(const std::string& fileName, const std::uint8_t* prefix, std::size_t size)
{
    if (size < 8) Fail(fileName, "the file is too short for a table header");
    if (prefix[0] == 0x02) return 521;   // dBASE II: fixed header
    if (size < 32) Fail(fileName, "the file is too short for a table header (" + std::to_string(size) + " bytes)");
    MemoKind memo;
    FlavorOf(fileName, prefix[0], memo);
    int length = GetLe16(prefix + 8);
    if (length < 33) Fail(fileName, "header length " + std::to_string(length) + " is too small");
    return length;
}

DbfHeader ParseDbfHeader(const std::string& fileName, const std::uint8_t* data, std::size_t size,
                         std::int64_t fileSize)
{
    DbfHeader h;
    int expected = DbfHeaderLength(fileName, data, size);
    if (static_cast<std::int64_t>(size) < expected || fileSize < expected)
        Fail(fileName, "the header is truncated (" + std::to_string(std::min<std::int64_t>(fileSize, static_cast<std::int64_t>(size))) +
                           " of " + std::to_string(expected) + " bytes)");
    h.version = data[0];
    h.flavor = FlavorOf(fileName, h.version, h.memo);
    h.headerLength = expected;

    int descriptorSize = 32, first = 32, nameLength = 11;
    if (h.flavor == DbfFlavor::DBase2) {
        h.recordCount = GetLe16(data + 1);
        h.recordLength = GetLe16(data + 6);
        descriptorSize = 16;
        first = 8;
    } else {
        h.recordCount = GetLe32(data + 4);
        h.recordLength = GetLe16(data + 10);
        h.languageDriver = data[29];
        h.tableFlags = data[28];
        if (h.flavor == DbfFlavor::DBase7) {
            descriptorSize = 48;
            first = 68;
            nameLength = 32;
        }
    }
    if (h.recordLength < 1) Fail(fileName, "record length 0 in the header");

    // Field descriptors, up to the 0x0D terminator.
    int offset = 1;
    bool terminated = false;
    for (int pos = first; pos < h.headerLength; pos += descriptorSize) {
        if (data[pos] == 0x0D) { terminated = true; break; }
        if (h.flavor == DbfFlavor::DBase2 && data[pos] == 0) { terminated = true; break; }
        if (pos + descriptorSize > h.headerLength) break;
        const std::uint8_t* d = data + pos;
        DbfField f;
        f.descriptorOffset = pos;
        std::size_t n = 0;
        while (n < static_cast<std::size_t>(nameLength) && d[n] != 0) ++n;
        f.name.assign(reinterpret_cast<const char*>(d), n);
        while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
        if (h.flavor == DbfFlavor::DBase2) {
            f.letter = static_cast<char>(d[11]);
            f.length = d[12];
            f.decimals = d[15];
        } else if (h.flavor == DbfFlavor::DBase7) {
            f.letter = static_cast<char>(d[32]);
            f.length = d[33];
            f.decimals = d[34];
        } else {
            f.letter = static_cast<char>(d[11]);
            f.length = d[16];
            f.decimals = d[17];
            if (h.flavor == DbfFlavor::VisualFoxPro) f.flags = d[18];
        }
        std::string where = "field " + std::to_string(h.fields.size() + 1) +
                            (f.name.empty() ? std::string() : " (" + f.name + ")");
        Rule rule{};
        if (!LengthRule(h, f.letter, rule)) {
            if (f.letter >= 0x21 && f.letter < 0x7F)
                Fail(fileName, where + " has the unknown type '" + std::string(1, f.letter) + "'");
            Fail(fileName, where + " has no valid type letter: the field descriptors are damaged");
        }
        if (f.length < rule.minLength || f.length > rule.maxLength)
            Fail(fileName, where + " of type " + std::string(1, f.letter) + " has the length " +
                               std::to_string(f.length) + ", which that type does not allow");
        if ((f.letter == 'N' || f.letter == 'F') && f.decimals > 0 && f.decimals >= f.length)
            Fail(fileName, where + " has " + std::to_string(f.decimals) + " decimals in a width of " +
                               std::to_string(f.length));
        if (f.name.empty()) Fail(fileName, where + " has no name");
        f.offset = offset;
        offset += f.length;
        if (f.letter == '0') {
            f.system = true;
            h.nullFlagsOffset = f.offset;
            h.nullFlagsLength = f.length;
        }
        f.type = TypeOf(h, f);
        h.fields.push_back(std::move(f));
    }
    if (!terminated && h.flavor != DbfFlavor::DBase2)
        Fail(fileName, "header length " + std::to_string(h.headerLength) +
                           " disagrees with the field descriptors (no end mark)");
    if (offset > h.recordLength)
        Fail(fileName, "record length " + std::to_string(h.recordLength) +
                           " in the header is less than the fields need (" + std::to_string(offset) + ")");

    // VFP null and varlength bits, in field order.
    if (h.flavor == DbfFlavor::VisualFoxPro) {
        int bit = 0;
        for (auto& f : h.fields) {
            if (f.system) continue;
            if (f.letter == 'V' || f.letter == 'Q') f.varBit = bit++;
            if (f.flags & 0x02) f.nullBit = bit++;
        }
        if (bit > 0 && h.nullFlagsOffset < 0) {
            // Some writers flag fields nullable (or variable) but store no
            // _NullFlags field: nothing there is NULL, every value is full length.
            for (auto& f : h.fields) {
                if (f.nullBit >= 0) f.nullableWithoutFlags = true;
                f.nullBit = f.varBit = -1;
            }
        } else if (bit > h.nullFlagsLength * 8) {
            Fail(fileName, "nullable fields without room in the _NullFlags field");
        }
    }

    std::int64_t available = (fileSize - h.headerLength) / h.recordLength;
    if (h.recordCount > available)
        Fail(fileName, "record count " + std::to_string(h.recordCount) + " in the header, but the file holds " +
                           std::to_string(available) + " records");
    return h;
}

} // namespace tarnel
