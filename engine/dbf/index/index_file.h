#pragma once
// Index files beside a dBASE or FoxPro table: the compound .cdx and the
// single .idx of FoxPro, the .ndx of dBASE III and the multiple .mdx of
// dBASE IV: the tags with their expressions, and each tag's keys in index
// order (writing is in index_writer.h). A damaged file raises an EngineError naming it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/table_format.h"

namespace tarnel {


struct IndexKey {
    std::string key;          // the key's bytes as stored
    std::uint32_t record = 0; // 1-based record number
};

class IndexFile {
public:
    virtual ~IndexFile() = default;
    // Opens an index file by its extension (.cdx, .idx, .ndx, .mdx); throws
    // EngineError naming the file when it cannot be read or is damaged.
    static std::unique_ptr<IndexFile> open(const std::string& path);

    const std::vector<IndexTag>& tags() const { return tags_; }
    // The keys of tag number tag, walked in the order the index stores them.
    virtual std::vector<IndexKey> keys(size_t tag) const = 0;
    // FoxPro files do not record a tag's key type; the table tells it from
    // the expression (it decides what pads a shortened key).
    void setKeyType(size_t tag, char type) { tags_.at(tag).keyType = type; }
    // The file's bytes as read, and where tag number tag's header starts in
    // them (compact files; 0 for the others).
    const std::string& bytes() const { return bytes_; }
    std::uint64_t tagHeader(size_t tag) const { return tag < headers_.size() ? headers_[tag] : 0; }

protected:
    IndexFile(std::string path, std::string bytes);
    [[noreturn]] void damaged(const std::string& why) const;
    // Bounds-checked access to the file's bytes.
    const unsigned char* at(std::uint64_t offset, std::uint64_t n) const;

    std::string path_;
    std::string name_;
    std::string bytes_;
    std::vector<IndexTag> tags_;
    std::vector<std::uint64_t> headers_;
};

std::unique_ptr<IndexFile> OpenCompactIndex(const std::string& path, std::string bytes, bool compound);
std::unique_ptr<IndexFile> OpenNdxIndex(const std::string& path, std::string bytes);
std::unique_ptr<IndexFile> OpenMdxIndex(const std::string& path, std::string bytes);

// A file name's extension in lower case, with its dot (".cdx"); empty when none.
std::string IndexExtension(const std::string& path);

// The index files of the same stem beside the table at dataPath (its
// production index among them). Paths only; nothing is read.
std::vector<std::string> FindTableIndexFiles(const std::string& dataPath);

} // namespace tarnel
