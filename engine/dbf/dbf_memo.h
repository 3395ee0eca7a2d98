#pragma once
// Memo files of dBASE (.dbt) and FoxPro (.fpt) tables.
//   .dbt, dBASE III: 512-byte blocks; a memo runs from its block to 0x1A 0x1A.
//   .dbt, dBASE IV and later: block length at offset 20 of the header; a memo
//         block starts with FF FF 08 00 and the length (LE, header included).
//   .fpt: block size at offset 6 (BE); a block starts with its type and length (BE).
// The first block (the header) holds the next free block number.
#include <cstdint>
#include <string>

#include "engine/dbf/dbf_header.h"
#include "engine/fileio/file.h"

namespace tarnel {

class DbfMemo {
public:
    enum class Style { DBase3, DBase4, FoxPro };

    DbfMemo(const std::string& path, Style style, bool readOnly);

    // Creates an empty memo file.
    static void create(const std::string& path, Style style, const std::string& tableStem);

    // The data of the memo at a block. Throws when the block is not inside the file.
    std::string read(std::uint32_t block, const std::string& fieldName) const;
    // Appends a memo and returns its first block. binary selects the FoxPro block type.
    std::uint32_t write(const std::string& data, bool binary);

    const std::string& path() const { return file_.path(); }
    bool writable() const { return file_.writable(); }

private:
    std::uint32_t nextFreeBlock() const;

    File file_;
    Style style_;
    std::uint32_t blockSize_ = 512;
};

} // namespace tarnel
