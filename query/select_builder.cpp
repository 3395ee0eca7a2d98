#include "query/select_builder.h"

#include "tables/field_types.h"

std::string QueryTableStem(const std::string& tableName)
{
    const auto slash = tableName.find_last_of('/');
    std::string name = slash == std::string::npos ? tableName : tableName.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
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
