// The SELECT statement of "Do Query" and its quoted field references.
#include "query/core/select_builder.h"

#include "shell/system_support.h"

namespace tarnel::query {

QString QuoteFieldRef(const QString& qualifier, const QString& fieldName)
{
    return QLatin1Char('"') + qualifier + QLatin1String("\".\"") + fieldName + QLatin1Char('"');
}

std::string QuoteFieldRef(const std::string& qualifier, const std::string& fieldName)
{
    return "\"" + qualifier + "\".\"" + fieldName + "\"";
}

std::string QueryTableStem(const std::string& tableName)
{
    return FileStem(tableName);
}

std::string BuildSelectList(const std::string& stem, const std::string& stationField,
                            const std::string& secondField, const std::string& numberField)
{
    std::string list;
    for (const std::string* field : {&stationField, &secondField, &numberField}) {
        if (field->empty()) continue;
        if (!list.empty()) list += ',';
        list += QuoteFieldRef(stem, *field);
    }
    return list.empty() ? "*" : list;
}

std::string BuildSelectStatement(const std::string& stem, const std::string& stationField,
                                 const std::string& secondField, const std::string& numberField,
                                 const std::string& condition)
{
    std::string sql = "Select " + BuildSelectList(stem, stationField, secondField, numberField) +
                      " From \"" + stem + "\"";
    if (!condition.empty()) sql += " Where " + condition;
    return sql;
}

} // namespace tarnel::query
