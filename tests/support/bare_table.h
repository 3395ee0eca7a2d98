#pragma once
// A dBASE table whose header names no code page, holding one text row
// written in Windows-1252 ("Grét" reads "GrΘt" in code page 437).
#include <fstream>
#include <string>

#include "engine/table.h"

namespace tarnel::test {

inline void MakeTableWithoutCodePage(const std::string& path, const std::string& field, const std::string& text)
{
    Table t;
    t.setTableName(path);
    t.addFieldDef(field, ftString, 10);
    t.createTable(1252);
    t.open();
    t.append();
    t.setText(0, text);
    t.post();
    t.close();
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(29);   // the language driver byte
    f.put('\0');
}

} // namespace tarnel::test
