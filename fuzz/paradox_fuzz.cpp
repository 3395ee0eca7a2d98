// Input: a 4-byte length, that many bytes of table file (.db), the rest the blob file (.mb).
#include "fuzz/table_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    using namespace tarnel;
    if (size < 4) return 0;
    size_t dbSize = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<size_t>(data[3] & 0x7F) << 24);
    data += 4;
    size -= 4;
    if (dbSize > size) dbSize = size;
    const std::string db = fuzz::Folder() + "/t.db", mb = fuzz::Folder() + "/t.mb";
    std::remove((fuzz::Folder() + "/t.px").c_str());
    fuzz::Write(db, data, dbSize);
    fuzz::Write(mb, data + dbSize, size - dbSize);
    fuzz::Exercise(db, TableType::Paradox);
    return 0;
}
