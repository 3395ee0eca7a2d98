#include "engine/dbf/dbf_memo.h"

#include <cstring>
#include <vector>

#include "engine/bytes.h"
#include "engine/error.h"

namespace tarnel {

namespace {
constexpr std::uint32_t kMaxMemo = 1u << 30;   // a memo larger than this is taken as damage
} // namespace

DbfMemo::DbfMemo(const std::string& path, Style style, bool readOnly)
    : file_(File::open(path, readOnly)), style_(style)
{
    unsigned char header[32] = {};
    file_.readExact(0, header, sizeof header, "memo file header");
    if (style_ == Style::FoxPro) {
        blockSize_ = static_cast<std::uint32_t>((header[6] << 8) | header[7]);
        if (blockSize_ == 0) blockSize_ = 64;   // older writers leave it empty
    } else if (style_ == Style::DBase4) {
        blockSize_ = static_cast<std::uint32_t>(header[20] | (header[21] << 8));
        if (blockSize_ == 0) blockSize_ = 512;
    } else {
        blockSize_ = 512;
    }
    if (blockSize_ < 8 && style_ != Style::DBase3)
        throw EngineError(BaseName(path) + ": memo block size " + std::to_string(blockSize_) + " is not usable");
}

void DbfMemo::create(const std::string& path, Style style, const std::string& tableStem)
{
    File f = File::create(path);
    std::vector<unsigned char> header(512, 0);
    if (style == Style::FoxPro) {
        const std::uint32_t blockSize = 64;
        PutBe32(header.data(), 512 / blockSize);
        header[6] = 0;
        header[7] = blockSize;
    } else {
        PutLe32(header.data(), 1);
        if (style == Style::DBase4) {
            std::string stem = tableStem.substr(0, 8);
            std::memcpy(header.data() + 8, stem.data(), stem.size());
            header[20] = 512 & 0xFF;
            header[21] = 512 >> 8;
        } else {
            header[16] = 0x03;
        }
    }
    f.writeAt(0, header.data(), header.size());
}

std::string DbfMemo::read(std::uint32_t block, const std::string& fieldName) const
{
    const std::int64_t size = file_.size();
    const std::int64_t offset = static_cast<std::int64_t>(block) * blockSize_;
    auto where = [&] {
        return BaseName(file_.path()) + ": memo block " + std::to_string(block) + " of field " + fieldName;
    };
    if (block == 0 || offset >= size) throw EngineError(where() + " lies past the end of the memo file");

    unsigned char head[8] = {};
    std::size_t got = file_.readAt(offset, head, sizeof head);
    if (style_ == Style::FoxPro) {
        if (got < 8) throw EngineError(where() + " is truncated");
        std::uint32_t length = GetBe32(head + 4);
        if (length > kMaxMemo || offset + 8 + length > size)
            throw EngineError(where() + " claims " + std::to_string(length) + " bytes, past the end of the memo file");
        std::string data(length, '\0');
        file_.readExact(offset + 8, data.data(), length, "memo");
        return data;
    }
    if (got >= 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        std::uint32_t length = GetLe32(head + 4);
        if (length < 8 || length > kMaxMemo || offset + length > size)
            throw EngineError(where() + " claims " + std::to_string(length) + " bytes, past the end of the memo file");
        std::string data(length - 8, '\0');
        file_.readExact(offset + 8, data.data(), data.size(), "memo");
        return data;
    }
    // dBASE III: up to the end mark, which may lie many blocks further on.
    std::string data;
    std::vector<char> chunk(4096);
    std::int64_t pos = offset;
    while (pos < size) {
        std::size_t n = file_.readAt(pos, chunk.data(), chunk.size());
        if (n == 0) break;
        const void* mark = std::memchr(chunk.data(), 0x1A, n);
        if (mark) {
            data.append(chunk.data(), static_cast<const char*>(mark) - chunk.data());
            return data;
        }
        data.append(chunk.data(), n);
        pos += static_cast<std::int64_t>(n);
        if (data.size() > kMaxMemo) break;
    }
    throw EngineError(where() + " has no end mark: the memo file is truncated or damaged");
}

std::uint32_t DbfMemo::nextFreeBlock() const
{
    unsigned char head[4] = {};
    file_.readExact(0, head, 4, "memo file header");
    std::uint32_t next = style_ == Style::FoxPro ? GetBe32(head) : GetLe32(head);
    // Never hand out a block inside what the file already holds.
    std::int64_t size = file_.size();
    std::uint32_t end = static_cast<std::uint32_t>((size + blockSize_ - 1) / blockSize_);
    if (next < end) next = end;
    if (next == 0) next = 1;
    return next;
}

std::uint32_t DbfMemo::write(const std::string& data, bool binary)
{
    if (data.size() > kMaxMemo) throw EngineError(BaseName(file_.path()) + ": memo too large");
    File::Lock lock(file_);
    std::uint32_t block = nextFreeBlock();
    std::string out;
    if (style_ == Style::FoxPro) {
        unsigned char head[8];
        PutBe32(head, binary ? 0u : 1u);
        PutBe32(head + 4, static_cast<std::uint32_t>(data.size()));
        out.assign(reinterpret_cast<char*>(head), 8);
        out += data;
    } else if (style_ == Style::DBase4) {
        unsigned char head[8] = {0xFF, 0xFF, 0x08, 0x00};
        PutLe32(head + 4, static_cast<std::uint32_t>(data.size() + 8));
        out.assign(reinterpret_cast<char*>(head), 8);
        out += data;
        // The length above counts the block header, as dBASE writes it; some
        // readers take it as the data length and stop at 0x1F instead.
        out += "\x1F\x1F";
    } else {
        if (data.find('\x1A') != std::string::npos)
            throw EngineError(BaseName(file_.path()) +
                              ": this memo file cannot hold text with the character 0x1A");
        out = data + "\x1A\x1A";
    }
    std::size_t blocks = (out.size() + blockSize_ - 1) / blockSize_;
    out.resize(blocks * blockSize_, '\0');
    std::int64_t offset = static_cast<std::int64_t>(block) * blockSize_;
    file_.writeAt(offset, out.data(), out.size());
    unsigned char head[4];
    std::uint32_t next = block + static_cast<std::uint32_t>(blocks);
    if (style_ == Style::FoxPro) PutBe32(head, next);
    else PutLe32(head, next);
    file_.writeAt(0, head, 4);
    return block;
}

} // namespace tarnel
