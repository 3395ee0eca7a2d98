#pragma once
// Field data types. The ordinals are fixed: they are stored in design lists,
// shown by the windows and used by every table format of the engine.
#include <cstdint>
#include <string_view>

namespace tarnel {

enum TFieldType : std::uint8_t {
    ftUnknown = 0, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,
    ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc,
    ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary,
    ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference,
    ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid,
    ftTimeStamp, ftFMTBcd
};

inline constexpr int kFieldTypeCount = 38;

// "ftString", "ftMemo"...; "" for an ordinal past the last type.
std::string_view EngineTypeName(int type);

// How a value of the type travels through the engine (see Value).
bool IsTextType(int type);      // String, FixedChar, WideString, Memo, FmtMemo, Guid
bool IsIntegerType(int type);   // Smallint, Integer, Word, AutoInc, Largeint, Boolean
bool IsFloatType(int type);     // Float, Currency, BCD, FMTBcd
bool IsDateTimeType(int type);  // Date, Time, DateTime, TimeStamp
bool IsBinaryType(int type);    // Bytes, VarBytes, Blob, Graphic, Ole, TypedBinary, OraBlob
bool IsBlobType(int type);      // kept outside the record: Blob, Memo, Graphic, FmtMemo, Ole...

} // namespace tarnel
