#include "engine/paradox/px_header.h"

#include <cstring>

#include "engine/error.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"

namespace tarnel::paradox {

namespace {
constexpr int kCommonHeader = 0x58;
constexpr int kDataHeader = 0x78;

bool HasDataHeader(int version, int fileType)
{
    return version >= 5 && (fileType == 0 || fileType == 2 || IsSecondaryEntries(fileType));
}
} // namespace

int TableNameLength(int version) { return version >= kLevel7 ? 261 : 79; }

int TableNameOffset(int version, int fileType, int numFields)
{
    return (HasDataHeader(version, fileType) ? kDataHeader : kCommonHeader) + numFields * 2 + 4 + numFields * 4;
}

std::string LevelName(int version)
{
    if (version <= 3) return "3.0";
    if (version == 4) return "3.5";
    if (version <= 9) return "4";
    if (version <= 11) return "5";
    return "7";
}

PxHeader ParseHeader(const std::string& raw, std::int64_t fileSize, const std::string& path, bool secondary)
{
    auto fail = [&](const std::string& what) -> void { throw EngineError(path + ": " + what); };
    if (raw.size() < kCommonHeader) fail("the table header is truncated");
    auto u8 = [&](int at) { return static_cast<unsigned char>(raw[static_cast<size_t>(at)]); };
    auto u16 = [&](int at) { return GetLe16(reinterpret_cast<const unsigned char*>(raw.data() + at)); };
    auto u32 = [&](int at) { return GetLe32(reinterpret_cast<const unsigned char*>(raw.data() + at)); };

    PxHeader h;
    h.raw = raw;
    h.recordSize = u16(hdr::RecordSize);
    h.headerSize = u16(hdr::HeaderSize);
    h.fileType = u8(hdr::FileType);
    int blockCode = u8(hdr::BlockCode);
    h.version = u8(hdr::Version);
    h.numRecords = u32(hdr::NumRecords);
    h.usedBlocks = u16(hdr::UsedBlocks);
    h.fileBlocks = u16(hdr::FileBlocks);
    h.firstBlock = u16(hdr::FirstBlock);
    h.lastBlock = u16(hdr::LastBlock);
    h.firstFree = u16(hdr::FirstFree);
    h.autoInc = u32(hdr::AutoInc);
    int numFields = static_cast<std::int16_t>(u16(hdr::NumFields));
    h.keyFields = static_cast<std::int16_t>(u16(hdr::KeyFields));

    if (secondary) {
        if (!IsSecondaryEntries(h.fileType)) fail("not the entries of a secondary index (file type " + std::to_string(h.fileType) + ")");
        h.fileType = 0;
    } else if (h.fileType == 1 || (h.fileType >= 3 && h.fileType <= 8))
        fail("this is an index file of a Paradox table, not the table itself");
    if (h.fileType != 0 && h.fileType != 2) fail("not a Paradox table (unknown file type " + std::to_string(h.fileType) + ")");
    if (h.version < 3 || h.version > 15) fail("not a Paradox table (unknown file version " + std::to_string(h.version) + ")");
    if (blockCode < 1 || blockCode > 32) fail("not a Paradox table (unknown block size code " + std::to_string(blockCode) + ")");
    h.blockSize = blockCode * 1024;
    if (h.headerSize < kCommonHeader || h.headerSize > static_cast<int>(raw.size()))
        fail("the header size " + std::to_string(h.headerSize) + " is not valid");
    if (h.headerSize > fileSize) fail("the table header is truncated (the file holds " + std::to_string(fileSize) + " bytes)");
    if (h.recordSize < 1 || h.recordSize > h.blockSize - 6)
        fail("the record size " + std::to_string(h.recordSize) + " does not fit a block of " + std::to_string(h.blockSize) + " bytes");
    if (numFields < 1 || numFields > 255) fail("the header gives " + std::to_string(numFields) + " fields");
    if (h.keyFields < 0 || h.keyFields > numFields) fail("the header gives " + std::to_string(h.keyFields) + " key fields");
    if (h.fileType == 2) h.keyFields = 0;

    bool dataHeader = HasDataHeader(h.version, h.fileType);
    if (dataHeader && h.headerSize < kDataHeader) fail("the header size " + std::to_string(h.headerSize) + " is too small for this file version");
    std::uint32_t encryption = u32(hdr::Encryption1);
    if (dataHeader && encryption == 0xFF00FF00u) encryption = u32(hdr::Encryption2);
    if (encryption != 0) fail("the table is password-protected; encrypted tables cannot be read");
    if (dataHeader) {
        h.codePage = u16(hdr::CodePage);
        if (h.codePage == 0) h.codePage = 437;
    }
    auto names = CodePage::get(h.codePage);

    int pos = dataHeader ? kDataHeader : kCommonHeader;
    int limit = h.headerSize;
    if (pos + numFields * 2 > limit) fail("the header ends inside the field descriptors");
    int offset = 0;
    for (int k = 0; k < numFields; ++k) {
        PxField f;
        f.code = u8(pos + 2 * k);
        f.sizeByte = u8(pos + 2 * k + 1);
        f.width = FieldWidth(f.code, f.sizeByte);
        if (FieldTypeOfCode(f.code) == ftUnknown || f.width == 0)
            fail("field " + std::to_string(k + 1) + " has an unknown type code " + std::to_string(f.code) +
                 " or size " + std::to_string(f.sizeByte));
        f.offset = offset;
        offset += f.width;
        f.def.type = FieldTypeOfCode(f.code);
        f.def.number = k + 1;
        switch (f.code) {
        case pxAlpha: case pxBytes: f.def.size = f.sizeByte; break;
        case pxBcd: f.def.size = f.sizeByte; f.def.decimals = f.sizeByte; break;
        default: f.def.size = f.isBlob() ? f.width - kBlobTail : 0; break;
        }
        f.def.key = k < h.keyFields;
        h.fields.push_back(f);
    }
    if (offset > h.recordSize)
        fail("the fields need " + std::to_string(offset) + " bytes but a record has " + std::to_string(h.recordSize));
    pos += numFields * 2 + 4 + numFields * 4 + TableNameLength(h.version);
    for (auto& f : h.fields) {
        if (pos >= limit) fail("the header ends inside the field names");
        const char* start = raw.data() + pos;
        const void* nul = std::memchr(start, 0, static_cast<size_t>(limit - pos));
        if (!nul) fail("the header ends inside the field names");
        size_t n = static_cast<size_t>(static_cast<const char*>(nul) - start);
        f.def.name = names->decode(std::string_view(start, n));
        pos += static_cast<int>(n) + 1;
    }
    return h;
}

std::string BuildHeader(const std::vector<PxField>& fields, int keyFields, int codePage, int blockCode,
                        const std::string& tableName, const CodePage& names)
{
    int n = static_cast<int>(fields.size());
    std::vector<std::string> encodedNames;
    int nameBytes = 0;
    int recordSize = 0;
    for (const auto& f : fields) {
        std::string e;
        if (!names.encode(f.def.name, e) || e.empty() || e.find('\0') != std::string::npos)
            throw EngineError(tableName + ": the field name '" + f.def.name + "' cannot be stored");
        nameBytes += static_cast<int>(e.size()) + 1;
        encodedNames.push_back(e);
        recordSize += f.width;
    }
    const int tableNameLen = TableNameLength(kLevel7);
    const char sortOrder[] = "ascii";
    int used = kDataHeader + n * 2 + 4 + n * 4 + tableNameLen + nameBytes + n * 2 + static_cast<int>(sizeof sortOrder);
    int headerSize = (used + 0x7FF) / 0x800 * 0x800;
    std::string raw(static_cast<size_t>(headerSize), '\0');
    auto* p = reinterpret_cast<unsigned char*>(raw.data());
    PutLe16(p + hdr::RecordSize, static_cast<std::uint16_t>(recordSize));
    PutLe16(p + hdr::HeaderSize, static_cast<std::uint16_t>(headerSize));
    p[hdr::FileType] = keyFields > 0 ? 0 : 2;
    PutLe16(p + hdr::KeyFields, static_cast<std::uint16_t>(keyFields));
    p[hdr::BlockCode] = static_cast<unsigned char>(blockCode);
    PutLe16(p + 0x12, 12);
    PutLe16(p + hdr::NumFields, static_cast<std::uint16_t>(n));
    PutLe32(p + hdr::Encryption1, 0xFF00FF00u);
    p[hdr::ChangeCount1] = 2;
    p[hdr::ChangeCount1 + 1] = 1;
    p[hdr::Version] = kLevel7;
    p[0x3E] = 0x1F;
    p[0x3F] = 0x0F;
    PutLe16(p + 0x51, static_cast<std::uint16_t>(used));
    p[0x56] = 0x20;
    PutLe16(p + 0x58, 0x0100 | kLevel7);
    PutLe16(p + 0x5A, 0x0100 | kLevel7);
    PutLe16(p + 0x64, static_cast<std::uint16_t>(n + 1));
    PutLe16(p + 0x66, static_cast<std::uint16_t>(0x20 + n * 6 + 4 + tableNameLen + nameBytes));
    PutLe16(p + hdr::CodePage, static_cast<std::uint16_t>(codePage));
    p[0x6C] = 1;
    p[0x6D] = 1;
    PutLe16(p + 0x6E, static_cast<std::uint16_t>(0x18 + n * 8 + 4 + tableNameLen + nameBytes + 8));
    int pos = kDataHeader;
    for (const auto& f : fields) {
        p[pos++] = f.code;
        p[pos++] = f.sizeByte;
    }
    pos += 4 + n * 4;   // run-time pointers, left zero
    std::string stored;
    names.encode(tableName, stored);
    stored.resize(std::min<size_t>(stored.size(), static_cast<size_t>(tableNameLen - 1)));
    std::memcpy(p + pos, stored.data(), stored.size());
    pos += tableNameLen;
    for (const auto& e : encodedNames) {
        std::memcpy(p + pos, e.data(), e.size());
        pos += static_cast<int>(e.size()) + 1;
    }
    for (int k = 0; k < n; ++k) {
        PutLe16(p + pos, static_cast<std::uint16_t>(k + 1));
        pos += 2;
    }
    std::memcpy(p + pos, sortOrder, sizeof sortOrder);
    return raw;
}

void SetBlockHeader(unsigned char* block, int blockSize, int recordSize, int next, int prev, int count)
{
    PutLe16(block, static_cast<std::uint16_t>(next));
    PutLe16(block + 2, static_cast<std::uint16_t>(prev));
    PutLe16(block + 4, static_cast<std::uint16_t>(static_cast<std::int16_t>((count - 1) * recordSize)));
    const size_t used = kBlockHeader + static_cast<size_t>(count) * static_cast<size_t>(recordSize);
    if (used < static_cast<size_t>(blockSize)) std::memset(block + used, 0, static_cast<size_t>(blockSize) - used);
}

int BlockRecordCount(const unsigned char* block, int recordSize)
{
    const int last = static_cast<std::int16_t>(GetLe16(block + 4));
    return last < 0 ? 0 : last / recordSize + 1;
}

} // namespace tarnel::paradox
