#include "engine/engine_types.h"

#include <array>

namespace tarnel {

namespace {
constexpr std::array<std::string_view, kFieldTypeCount> kEngineNames = {
    "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
    "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes", "ftAutoInc",
    "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle", "ftTypedBinary",
    "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint", "ftADT", "ftArray", "ftReference",
    "ftDataSet", "ftOraBlob", "ftOraClob", "ftVariant", "ftInterface", "ftIDispatch", "ftGuid",
    "ftTimeStamp", "ftFMTBcd"};
} // namespace

std::string_view EngineTypeName(int type)
{
    return type >= 0 && type < kFieldTypeCount ? kEngineNames[type] : std::string_view();
}

bool IsTextType(int type)
{
    return type == ftString || type == ftFixedChar || type == ftWideString || type == ftMemo ||
           type == ftFmtMemo || type == ftGuid || type == ftOraClob;
}

bool IsIntegerType(int type)
{
    return type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc ||
           type == ftLargeint || type == ftBoolean;
}

bool IsFloatType(int type)
{
    return type == ftFloat || type == ftCurrency || type == ftBCD || type == ftFMTBcd;
}

bool IsDateTimeType(int type)
{
    return type == ftDate || type == ftTime || type == ftDateTime || type == ftTimeStamp;
}

bool IsBinaryType(int type)
{
    return type == ftBytes || type == ftVarBytes || type == ftBlob || type == ftGraphic ||
           type == ftParadoxOle || type == ftDBaseOle || type == ftTypedBinary || type == ftOraBlob;
}

bool IsBlobType(int type)
{
    return type == ftBlob || type == ftMemo || type == ftGraphic || type == ftFmtMemo ||
           type == ftParadoxOle || type == ftDBaseOle || type == ftTypedBinary ||
           type == ftOraBlob || type == ftOraClob;
}

} // namespace tarnel
