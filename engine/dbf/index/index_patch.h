#pragma once
// Changing one index file's trees in place: a key taken out of or put into a
// tag's tree touches the leaf that holds it, the separators above it when its
// last key changes, and, when a node overflows, a new node at the file's end
// (up to a new root). Every change is worked out in memory first; write()
// then writes the touched nodes, keeping their old bytes, and puts them back
// when a write fails (or later, through undo(), when another file fails).
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/fileio/file.h"

namespace tarnel {

class TreePatch {
public:
    // One tag's tree: where its header starts (0 for a .ndx or .idx), its key
    // length, the byte a shortened compact key is filled with, and how its
    // keys are ordered.
    struct Tag {
        std::uint64_t header = 0;
        int keyLength = 0;
        char pad = ' ';
        KeyOrder order = KeyOrder::Bytes;
    };

    // Compact: a .cdx or compact .idx; Ndx, Mdx: the dBASE files, whose
    // nodes are addressed by 512-byte page and whose separators leave out
    // the last child's key.
    enum class Layout { Compact, Ndx, Mdx };
    TreePatch(const std::string& path, Layout layout);

    const std::shared_ptr<File>& file() const { return file_; }

    // Thrown when a change cannot be made in place (the key is not in the
    // tree, the leaf it leaves would be empty, a node is not as expected);
    // the changes in memory are then of no use and the file is rebuilt instead.
    struct Unusable {};

    void erase(const Tag& tag, const IndexKey& entry);
    void insert(const Tag& tag, const IndexKey& entry);
    // The first entry whose key is key, if any.
    std::optional<IndexKey> find(const Tag& tag, const std::string& key);

    // Writes the changed nodes; throws, with the file as it was, when one
    // cannot be written.
    void write();
    // Puts back what write() changed; returns what could not be put back.
    std::string undo();

private:
    struct Entry {
        std::string key;
        std::uint32_t record = 0;
        std::uint64_t child = 0;   // interior nodes: the child's offset
        bool known = true;         // a .ndx's last child has no key in its node
    };
    struct Node {
        std::uint64_t at = 0;
        bool leaf = true;
        std::uint16_t attributes = 0;
        std::uint32_t left = 0xFFFFFFFFu, right = 0xFFFFFFFFu;
        std::vector<Entry> entries;
    };
    struct Step {
        Node node;
        size_t child = 0;   // the entry followed down
    };

    std::string& bytes(std::uint64_t at, std::uint64_t length = 0);   // 0: a node's length
    std::string& header(std::uint64_t at) { return bytes(at, 512); }
    unsigned perNode(const Tag& tag, size_t item);   // .ndx and .mdx leaves
    Node decode(std::uint64_t at, const Tag& tag, const Entry* separator);
    std::optional<std::string> encode(const Node& node, const Tag& tag);
    void put(const Node& node, const Tag& tag);
    std::uint64_t allocate();
    std::uint64_t root(const Tag& tag);
    std::uint32_t lastRecordUnder(std::uint64_t at, const Tag& tag);
    std::vector<Step> descend(const Tag& tag, const IndexKey& entry);
    void store(const Tag& tag, std::vector<Step>& path);
    std::vector<Node> split(Node node, const Tag& tag);

    std::shared_ptr<File> file_;
    Layout layout_;
    bool paged_;                // a .ndx or .mdx
    std::uint64_t node_ = 512;  // a node's length
    std::int64_t size_ = 0;   // the file's size when opened
    std::uint64_t end_ = 0;   // where the next new node goes
    std::map<std::uint64_t, std::string> nodes_;      // nodes read or made, as they are now
    std::map<std::uint64_t, std::string> original_;   // nodes as read
    std::map<std::uint64_t, bool> dirty_;
    std::vector<std::uint64_t> written_;
    bool grown_ = false;
};

} // namespace tarnel
