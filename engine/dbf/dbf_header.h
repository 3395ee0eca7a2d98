#pragma once
// dBASE and FoxPro table headers: parsing, checking, and the field layout.
//
// File field type -> data type ordinal (the engine's TFieldType):
//
//   letter  meaning                              data type      stored as
//   C       character                            ftString       text, blank padded
//   N, F    numeric, float (decimals = 0, <=9)   ftInteger      ASCII digits
//   N, F    numeric, float (otherwise)           ftFloat        ASCII digits
//   L       logical                              ftBoolean      T/F/Y/N, ? or blank: NULL
//   D       date                                 ftDate         YYYYMMDD
//   M       memo                                 ftMemo         block number (10 digits, or 4 bytes in VFP)
//   B       dBASE binary memo                    ftBlob         block number
//   G, P    general/OLE, picture                 ftGraphic      block number
//   W       VFP blob                             ftBlob         4-byte block number
//   I       VFP integer (LE), dBASE 7 long (BE)  ftInteger      4 bytes
//   I (VFP autoincrement flag), + (dBASE 7)      ftAutoInc      4 bytes
//   Y       VFP currency                         ftCurrency     8-byte integer / 10000
//   T       VFP datetime                         ftDateTime     Julian day + milliseconds
//   @       dBASE 7 timestamp                    ftDateTime     8 bytes, BE
//   B       VFP double                           ftFloat        8-byte IEEE, LE
//   O       dBASE 7 double                       ftFloat        8-byte IEEE, BE order-preserving
//   V       VFP varchar                          ftString       text, length in last byte
//   Q       VFP varbinary                        ftVarBytes     bytes, length in last byte
//   0       VFP _NullFlags (system, hidden)      -              null and length bits
//
// When a table is created the mapping runs the other way (see dbf_table.cpp):
// ftSmallint, ftWord and ftInteger become N(6,0), N(5,0), N(11,0) in dBASE
// tables and I in FoxPro tables, ftFloat N(20,4) (or the size and decimals
// given) in dBASE and B in FoxPro, ftCurrency N(20,4) or Y, ftBCD N(20,size),
// ftDateTime T (FoxPro only), ftAutoInc I with the autoincrement flag (FoxPro
// only), ftBlob B (dBASE) or W (FoxPro), ftGraphic and ftDBaseOle G.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_types.h"

namespace tarnel {

enum class DbfFlavor { DBase2, DBase3, DBase4, DBase7, FoxPro, VisualFoxPro };
enum class MemoKind { None, Dbt, Fpt };

struct DbfField {
    std::string name;          // as stored (code page bytes)
    char letter = 'C';
    int length = 0;
    int decimals = 0;
    int offset = 0;            // within the record (the deletion mark is byte 0)
    std::uint8_t flags = 0;    // VFP field flags
    bool system = false;       // hidden (_NullFlags)
    int nullBit = -1;          // VFP: bit in _NullFlags set for NULL
    int varBit = -1;           // VFP V/Q: bit set when the length is in the last byte
    bool nullableWithoutFlags = false;   // VFP: flagged nullable, but the table has no _NullFlags
    int descriptorOffset = 0;  // of the field's descriptor within the header
    TFieldType type = ftUnknown;
};

struct DbfHeader {
    std::uint8_t version = 0;
    DbfFlavor flavor = DbfFlavor::DBase3;
    MemoKind memo = MemoKind::None;
    std::int64_t recordCount = 0;
    int headerLength = 0;
    int recordLength = 0;
    std::uint8_t languageDriver = 0;
    std::uint8_t tableFlags = 0;    // byte 28: 0x01 a production index (.mdx/.cdx) belongs to the table
    std::vector<DbfField> fields;   // in record order, system fields included
    int nullFlagsOffset = -1;       // offset of _NullFlags in the record
    int nullFlagsLength = 0;

    bool isFoxPro() const { return flavor == DbfFlavor::FoxPro || flavor == DbfFlavor::VisualFoxPro; }
    int countOffset() const { return flavor == DbfFlavor::DBase2 ? 1 : 4; }
};

// The number of header bytes needed to parse: the 32-byte prefix tells.
// Throws when the prefix itself is bad.
int DbfHeaderLength(const std::string& fileName, const std::uint8_t* prefix, std::size_t size);

// Parses and checks a header. data holds at least the header length's bytes
// (fewer is reported as a truncated header); fileSize is the whole file's size.
DbfHeader ParseDbfHeader(const std::string& fileName, const std::uint8_t* data, std::size_t size,
                         std::int64_t fileSize);

} // namespace tarnel
