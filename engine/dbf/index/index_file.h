#pragma once
// Index files beside a dBASE or FoxPro table: the compound .cdx and the
// single .idx of FoxPro, the .ndx of dBASE III and the multiple .mdx of
// dBASE IV: the tags with their expressions, and each tag's keys in index
// order (writing is in index_writer.h). A damaged file raises an EngineError naming it.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/fileio/file.h"
#include "engine/table_format.h"

namespace tarnel {


struct IndexKey {
    std::string key;          // the key's bytes as stored
    std::uint32_t record = 0; // 1-based record number
};

// An index file's bytes: held whole, or read from the open file a node at a
// time as they are wanted (large files, of which a lookup needs a few nodes).
struct IndexSource {
    IndexSource(std::string whole) : bytes(std::move(whole)), size(bytes.size()) {}
    IndexSource(std::shared_ptr<File> open, std::uint64_t length) : file(std::move(open)), size(length) {}
    std::string bytes;
    std::shared_ptr<File> file;
    std::uint64_t size = 0;
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
    // The keys of tag number tag from the first one not below low (keys
    // compared byte by byte), in index order, until visit returns false.
    // Finds them all only where the tag orders its keys byte by byte (FoxPro
    // keys do; dBASE number keys do not). Compact indexes walk down the tree
    // to the first leaf wanted; others read the tag's keys whole.
    using KeyVisit = std::function<bool(const IndexKey&)>;
    virtual void seek(size_t tag, const std::string& low, const KeyVisit& visit) const;
    // FoxPro files do not record a tag's key type; the table tells it from
    // the expression (it decides what pads a shortened key).
    void setKeyType(size_t tag, char type) { tags_.at(tag).keyType = type; }
    // The file's bytes as read, and where tag number tag's header starts in
    // them (compact files and the .mdx; 0 for the others).
    const std::string& bytes() const;   // a large file is read whole here
    std::uint64_t tagHeader(size_t tag) const { return tag < headers_.size() ? headers_[tag] : 0; }

protected:
    IndexFile(std::string path, IndexSource source);
    [[noreturn]] void damaged(const std::string& why) const;
    // Bounds-checked access to the file's bytes; the pointer stays valid as
    // long as the IndexFile.
    const unsigned char* at(std::uint64_t offset, std::uint64_t n) const;
    std::uint64_t size() const { return source_.size; }

    std::string path_;
    std::string name_;
    std::vector<IndexTag> tags_;
    std::vector<std::uint64_t> headers_;

private:
    mutable IndexSource source_;
    // Pieces read from source_.file, by offset and length.
    mutable std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> read_;
};

std::unique_ptr<IndexFile> OpenCompactIndex(const std::string& path, IndexSource source, bool compound);
std::unique_ptr<IndexFile> OpenNdxIndex(const std::string& path, IndexSource source);
std::unique_ptr<IndexFile> OpenMdxIndex(const std::string& path, IndexSource source);
// The older, uncompressed single-tag .idx (options byte without the compact bit).
std::unique_ptr<IndexFile> OpenPlainIdx(const std::string& path, IndexSource source);
bool IsCompactIdx(const std::string& bytes);

// A file name's extension in lower case, with its dot (".cdx"); empty when none.
std::string IndexExtension(const std::string& path);

// The index files of the same stem beside the table at dataPath (its
// production index among them). Paths only; nothing is read.
std::vector<std::string> FindTableIndexFiles(const std::string& dataPath);

} // namespace tarnel
