#pragma once
// Paradox field codes and the byte form of one field value in a record.
//
// Numbers, dates and times are stored big-endian with the sign bit flipped
// (negative numbers have every bit inverted), so that the bytes sort like the
// values and an all-zero field is blank (NULL).
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/bytes.h"
#include "engine/codepage.h"
#include "engine/dataset.h"
#include "engine/value.h"
#include "engine/value_convert.h"

namespace tarnel::paradox {

enum FieldCode : std::uint8_t {
    pxAlpha = 0x01, pxDate = 0x02, pxShort = 0x03, pxLong = 0x04, pxMoney = 0x05,
    pxNumber = 0x06, pxLogical = 0x09, pxMemo = 0x0C, pxBlob = 0x0D, pxFmtMemo = 0x0E,
    pxOle = 0x0F, pxGraphic = 0x10, pxTime = 0x14, pxTimestamp = 0x15, pxAutoInc = 0x16,
    pxBcd = 0x17, pxBytes = 0x18,
};

// Days between 1 January 0001 (day 1 in Paradox dates) and 30 December 1899.
inline constexpr std::int64_t kDateOffset = 693594;
inline constexpr int kBcdSize = 17;
inline constexpr int kBlobTail = 10;   // offset, length and modification number after the leader

struct PxField {
    std::uint8_t code = 0;
    std::uint8_t sizeByte = 0;   // as in the header (BCD: decimals)
    int width = 0;               // bytes in the record
    int offset = 0;              // within the record
    FieldDef def;
    bool isBlob() const;
};

// The table field type for a Paradox field code; ftUnknown when unknown.
TFieldType FieldTypeOfCode(std::uint8_t code);
// The record width of a field; 0 when the code is unknown.
int FieldWidth(std::uint8_t code, std::uint8_t sizeByte);
// The Paradox field for a table field definition; throws when the type
// cannot be stored.
PxField FieldForDef(const FieldDef& def, const std::string& table);

bool IsBlank(const unsigned char* p, int n);

// Fixed fields (everything except blobs). Text goes through the code page.
Value DecodeField(const PxField& f, const unsigned char* p, const CodePage& cp);
// Writes the field's bytes (f.width of them) for a value; throws EngineError
// with the field's name when the value does not fit the field.
void EncodeField(const PxField& f, const Value& v, unsigned char* p, const CodePage& cp,
                 const std::string& table);



} // namespace tarnel::paradox
