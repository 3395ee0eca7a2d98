#pragma once
// The blob file (.mb) beside a Paradox table: memo, binary, graphic and OLE
// values too long for their leader in the record.
//
// The file is a 4 KB header followed by blocks of whole 4 KB chunks, each
// starting with its type and its chunk count: single-blob blocks (type 2),
// blocks shared by up to 64 small blobs (type 3) and free blocks (type 4).
#include <cstdint>
#include <map>
#include <string>

#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"

namespace tarnel::paradox {

class BlobFile {
public:
    static constexpr int kChunk = 4096;

    // Opens an existing blob file; throws EngineError when it is not one.
    BlobFile(const std::string& path, bool writable);
    // Writes an empty blob file.
    static void create(const std::string& path);

    const std::string& path() const { return file_.path(); }

    // The blob a record points at. ref holds the block offset and the slot
    // (low byte); size the length the record gives. Graphic blobs carry an
    // 8-byte prefix, which is dropped.
    std::string read(std::uint32_t ref, std::uint32_t size, bool graphic);
    // Stores a blob and returns its reference; size receives the length the
    // record must hold, modification the number to store beside it.
    std::uint32_t write(const std::string& data, bool graphic, std::uint32_t& size,
                        std::uint16_t& modification);
    // Frees the space of a blob no record points at any more.
    void release(std::uint32_t ref);

private:
    struct Block { int type = 0; int chunks = 0; };
    void scan();   // builds blocks_ from the chain of chunk counts
    std::int64_t allocate(int chunks);
    [[noreturn]] void corrupt(const std::string& what) const;

    File file_;
    std::map<std::int64_t, Block> blocks_;   // by file offset
    bool scanned_ = false;
};

} // namespace tarnel::paradox
