#pragma once
// The header of a Paradox table file (.db): counts, block chain ends, field
// descriptors and names. Parsing checks everything later reads rely on.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/paradox/px_fields.h"

namespace tarnel::paradox {

// Offsets of the header values this module reads or maintains.
namespace hdr {
inline constexpr int RecordSize = 0x00, HeaderSize = 0x02, FileType = 0x04, BlockCode = 0x05,
                     NumRecords = 0x06, UsedBlocks = 0x0A, FileBlocks = 0x0C, FirstBlock = 0x0E,
                     LastBlock = 0x10, NumFields = 0x21, KeyFields = 0x23, Encryption1 = 0x25,
                     SortOrder = 0x29, ChangeCount1 = 0x2D, Version = 0x39, MaxBlocks = 0x3A,
                     AutoInc = 0x49, FirstFree = 0x4D, Encryption2 = 0x5C, CodePage = 0x6A;
}

inline constexpr int kLevel7 = 0x0C;

struct PxHeader {
    std::string raw;             // the header as stored (headerSize bytes)
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;            // 0 keyed, 2 unkeyed
    int blockSize = 0;
    int version = 0;             // file version byte (3 .. 12)
    std::int64_t numRecords = 0;
    int usedBlocks = 0, fileBlocks = 0, firstBlock = 0, lastBlock = 0, firstFree = 0;
    int keyFields = 0;
    int codePage = 437;
    std::uint32_t autoInc = 0;
    std::vector<PxField> fields;
};

// Parses the header; names decode through the code page the header names.
// Throws EngineError naming the file when the header cannot be trusted.
// secondary: the file is a secondary index's table of entries (.Xnn/.XGn),
// which has a table's layout and is read as a keyed table.
PxHeader ParseHeader(const std::string& raw, std::int64_t fileSize, const std::string& path, bool secondary = false);

// File types of the secondary index files: the entries (.Xnn, .XGn for a
// composite index; the second of each pair kept incrementally) and their
// index (.Ynn, .YGn).
inline constexpr int kSecondaryEntries = 3, kSecondaryIncremental = 5, kCompositeEntries = 6,
                     kCompositeIncremental = 8, kSecondaryIndex = 4, kCompositeIndex = 7;
inline bool IsSecondaryEntries(int fileType)
{
    return fileType == kSecondaryEntries || fileType == kSecondaryIncremental || fileType == kCompositeEntries ||
           fileType == kCompositeIncremental;
}

// A data block starts with the numbers of the next and the previous block of
// the chain and the offset of its last record (negative when it is empty).
inline constexpr int kBlockHeader = 6;
// Sets the block's header for count records of recordSize bytes and clears
// the room after them.
void SetBlockHeader(unsigned char* block, int blockSize, int recordSize, int next, int prev, int count);
// The number of records the block's header gives (0 for an empty block).
int BlockRecordCount(const unsigned char* block, int recordSize);

// Where the table name starts in a header, and its room.
int TableNameOffset(int version, int fileType, int numFields);
int TableNameLength(int version);

// The header of a new, empty level 7 table, keyed on its first keyFields
// fields (unkeyed when 0).
std::string BuildHeader(const std::vector<PxField>& fields, int keyFields, int codePage, int blockCode,
                        const std::string& tableName, const CodePage& names);

// The "paradox level" a version byte stands for (3.5, 4, 5, 7), for messages.
std::string LevelName(int version);

} // namespace tarnel::paradox
