// Input: schema text, a line "%%", then the rows.
#include "fuzz/table_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    using namespace tarnel;
    std::string input(reinterpret_cast<const char*>(data), size);
    auto split = input.find("\n%%\n");
    std::string schema = split == std::string::npos ? input : input.substr(0, split);
    std::string rows = split == std::string::npos ? std::string() : input.substr(split + 4);
    const std::string txt = fuzz::Folder() + "/t.txt", sch = fuzz::Folder() + "/t.sch";
    fuzz::Write(sch, reinterpret_cast<const std::uint8_t*>(schema.data()), schema.size());
    fuzz::Write(txt, reinterpret_cast<const std::uint8_t*>(rows.data()), rows.size());
    fuzz::Exercise(txt, TableType::ASCII);
    return 0;
}
