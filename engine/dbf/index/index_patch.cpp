// Changing index trees in place.
//
// Every kind of tree keeps, above the leaves, the last key under each child.
// A compact interior node holds one entry (key, record, child) per child; a
// .ndx or .mdx interior node holds one key fewer than children, the last child's key
// being the separator its parent holds for the node (or, on the right edge of
// the tree, none at all). Nodes are read into memory as decoded, changed
// there, and encoded back; a node that no longer fits is split in two, the
// right half going to a new node at the file's end.
#include "engine/dbf/index/index_patch.h"

#include <algorithm>
#include <cstring>

#include "engine/bytes.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/error.h"

namespace tarnel {

namespace {

constexpr std::uint64_t kNode = 512;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

unsigned BitsFor(std::uint64_t v)
{
    unsigned bits = 1;
    while (bits < 64 && (v >> bits) != 0) ++bits;
    return bits;
}

} // namespace

TreePatch::TreePatch(const std::string& path, Layout layout)
    : file_(std::make_shared<File>(File::open(path, false))), layout_(layout), paged_(layout != Layout::Compact)
{
    size_ = file_->size();
    end_ = (static_cast<std::uint64_t>(size_) + kNode - 1) / kNode * kNode;
    if (layout_ == Layout::Mdx) {
        node_ = GetLe16(header(0).data() + 22);
        if (node_ < kNode || node_ % kNode || node_ > 64 * kNode) throw Unusable();
    }
    if (paged_) {
        // The header's next free page (pages in the file), unless it points far past the file's end.
        const std::uint64_t next = std::uint64_t(GetLe32(header(0).data() + (layout_ == Layout::Ndx ? 4 : 32))) * kNode;
        if (next > end_ + (1u << 20)) throw Unusable();
        end_ = std::max(end_, next);
    }
}

std::string& TreePatch::bytes(std::uint64_t at, std::uint64_t length)
{
    auto found = nodes_.find(at);
    if (found != nodes_.end()) return found->second;
    if (at % kNode != 0 && paged_) throw Unusable();
    std::string node(static_cast<size_t>(length ? length : node_), '\0');
    if (file_->readAt(static_cast<std::int64_t>(at), node.data(), node.size()) != node.size()) throw Unusable();
    original_[at] = node;
    return nodes_[at] = std::move(node);
}

std::uint64_t TreePatch::root(const Tag& tag)
{
    const std::uint32_t r = GetLe32(header(tag.header).data());
    return paged_ ? std::uint64_t(r) * kNode : r;
}

// Keys a leaf holds at most: the header's figure where it is sane, and
// (.mdx) with room left for the pointer after the last key.
unsigned TreePatch::perNode(const Tag& tag, size_t item)
{
    if (layout_ == Layout::Mdx) {
        const std::uint64_t most = (node_ - 8) / item - 1;
        const unsigned stated = GetLe16(header(tag.header).data() + 14);
        return stated >= 2 && stated <= most ? stated : static_cast<unsigned>(most);
    }
    const std::uint64_t most = (kNode - 4) / item;
    const unsigned stated = GetLe16(header(0).data() + 14);
    return stated >= 2 && stated < most ? stated : static_cast<unsigned>(most);
}

TreePatch::Node TreePatch::decode(std::uint64_t at, const Tag& tag, const Entry* separator)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes(at).data());
    const size_t length = static_cast<size_t>(tag.keyLength);
    Node n;
    n.at = at;
    if (paged_) {
        // A .ndx entry is child page, record and key after a 4-byte count; a
        // .mdx entry is one pointer (child page or record) and the key after
        // 8 bytes, and a leaf's pointer after its last key is zero.
        const bool mdx = layout_ == Layout::Mdx;
        const size_t first = mdx ? 8 : 4, keyAt = mdx ? 4 : 8, recordAt = mdx ? 0 : 4;
        const size_t item = GetLe16(header(mdx ? tag.header : 0).data() + 18);
        const std::uint32_t count = GetLe32(p);
        if (item < length + keyAt || (mdx && item > node_ / 2) || first + std::uint64_t(count) * item > node_)
            throw Unusable();
        auto entry = [&](std::uint32_t k) { return p + first + size_t(k) * item; };
        const bool full = first + (std::uint64_t(count) + 1) * item > node_;
        n.leaf = mdx ? full || GetLe32(entry(count)) == 0 : GetLe32(entry(0)) == 0;
        if (!n.leaf && full) throw Unusable();
        for (std::uint32_t k = 0; k < count + (n.leaf ? 0 : 1); ++k) {
            Entry e;
            if (n.leaf) e.record = GetLe32(entry(k) + recordAt);
            else e.child = std::uint64_t(GetLe32(entry(k))) * kNode;
            if (n.leaf || k < count) e.key.assign(reinterpret_cast<const char*>(entry(k) + keyAt), length);
            else if (separator && separator->known) e.key = separator->key;
            else e.known = false;
            n.entries.push_back(std::move(e));
        }
        return n;
    }
    n.attributes = GetLe16(p);
    const unsigned count = GetLe16(p + 2);
    n.left = GetLe32(p + 4);
    n.right = GetLe32(p + 8);
    n.leaf = n.attributes & 0x02;
    if (!n.leaf) {
        if (count == 0 || 12 + count * (length + 8) > kNode) throw Unusable();
        for (unsigned k = 0; k < count; ++k) {
            const unsigned char* e = p + 12 + k * (length + 8);
            n.entries.push_back({std::string(reinterpret_cast<const char*>(e), length), GetBe32(e + length),
                                 GetBe32(e + length + 4), true});
        }
        return n;
    }
    const std::uint32_t recordMask = GetLe32(p + 14);
    const unsigned recordBits = p[20], dupBits = p[21], trailBits = p[22], width = p[23];
    if (width == 0 || width > 8 || recordBits > 32 || dupBits > 8 || trailBits > 8 ||
        recordBits + dupBits + trailBits > width * 8 || 24 + std::uint64_t(count) * width > kNode)
        throw Unusable();
    size_t back = kNode;
    std::string previous(length, tag.pad);
    for (unsigned k = 0; k < count; ++k) {
        std::uint64_t bits = 0;
        for (unsigned b = 0; b < width; ++b) bits |= std::uint64_t(p[24 + k * width + b]) << (8 * b);
        const size_t dup = (bits >> recordBits) & ((1u << dupBits) - 1);
        const size_t trail = (bits >> (recordBits + dupBits)) & ((1u << trailBits) - 1);
        if (dup + trail > length || back < 24 + count * width + (length - dup - trail)) throw Unusable();
        back -= length - dup - trail;
        Entry e;
        e.record = static_cast<std::uint32_t>(bits & recordMask);
        e.key = previous.substr(0, dup);
        e.key.append(reinterpret_cast<const char*>(p + back), length - dup - trail);
        e.key.append(trail, tag.pad);
        previous = e.key;
        n.entries.push_back(std::move(e));
    }
    return n;
}

std::optional<std::string> TreePatch::encode(const Node& n, const Tag& tag)
{
    std::string out(static_cast<size_t>(node_), '\0');
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    const size_t length = static_cast<size_t>(tag.keyLength);
    if (paged_) {
        const bool mdx = layout_ == Layout::Mdx;
        const size_t first = mdx ? 8 : 4, keyAt = mdx ? 4 : 8, recordAt = mdx ? 0 : 4;
        const size_t item = GetLe16(header(mdx ? tag.header : 0).data() + 18);
        const size_t most = perNode(tag, item);
        if (n.entries.size() > (n.leaf ? most : std::min<size_t>(most + 1, (node_ - first) / item))) return std::nullopt;
        PutLe32(p, static_cast<std::uint32_t>(n.entries.size() - (n.leaf ? 0 : 1)));
        for (size_t k = 0; k < n.entries.size(); ++k) {
            unsigned char* e = p + first + k * item;
            const Entry& entry = n.entries[k];
            if (n.leaf) PutLe32(e + recordAt, entry.record);
            else PutLe32(e, static_cast<std::uint32_t>(entry.child / kNode));
            if (n.leaf || k + 1 < n.entries.size()) std::memcpy(e + keyAt, entry.key.data(), length);
        }
        return out;
    }
    PutLe16(p, n.attributes);
    PutLe16(p + 2, static_cast<std::uint16_t>(n.entries.size()));
    PutLe32(p + 4, n.left);
    PutLe32(p + 8, n.right);
    if (!n.leaf) {
        if (n.entries.size() > (kNode - 12) / (length + 8)) return std::nullopt;
        unsigned char* e = p + 12;
        for (const Entry& entry : n.entries) {
            std::memcpy(e, entry.key.data(), length);
            PutBe32(e + length, entry.record);
            PutBe32(e + length + 4, static_cast<std::uint32_t>(entry.child));
            e += length + 8;
        }
        return out;
    }
    // The same layout as a freshly built leaf, sized for this leaf's records.
    std::uint32_t maxRecord = 0;
    for (const Entry& e : n.entries) maxRecord = std::max(maxRecord, e.record);
    const unsigned countBits = BitsFor(length);
    unsigned recordBits = std::max(BitsFor(maxRecord), 8u);
    const unsigned width = (recordBits + 2 * countBits + 7) / 8;
    recordBits = std::min(32u, width * 8 - 2 * countBits);
    PutLe32(p + 14, recordBits == 32 ? kNone : (1u << recordBits) - 1);
    p[18] = p[19] = static_cast<unsigned char>((1u << countBits) - 1);
    p[20] = static_cast<unsigned char>(recordBits);
    p[21] = p[22] = static_cast<unsigned char>(countBits);
    p[23] = static_cast<unsigned char>(width);
    size_t back = kNode;
    for (size_t i = 0; i < n.entries.size(); ++i) {
        const std::string& key = n.entries[i].key;
        size_t trail = 0;
        while (trail < length && key[length - 1 - trail] == tag.pad) ++trail;
        size_t dup = 0;
        if (i > 0)
            while (dup < length - trail && n.entries[i - 1].key[dup] == key[dup]) ++dup;
        const size_t fresh = length - dup - trail;
        if (back < 24 + (i + 1) * width + fresh) return std::nullopt;
        back -= fresh;
        std::memcpy(p + back, key.data() + dup, fresh);
        const std::uint64_t bits = n.entries[i].record | (std::uint64_t(dup) << recordBits) |
                                   (std::uint64_t(trail) << (recordBits + countBits));
        for (unsigned b = 0; b < width; ++b) p[24 + i * width + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    PutLe16(p + 12, static_cast<std::uint16_t>(back - 24 - n.entries.size() * width));
    return out;
}

void TreePatch::put(const Node& n, const Tag& tag)
{
    auto encoded = encode(n, tag);
    if (!encoded) throw Unusable();
    bytes(n.at) = std::move(*encoded);
    dirty_[n.at] = true;
}

// New nodes go at the file's end; the file header that records the end follows it.
std::uint64_t TreePatch::allocate()
{
    const std::uint64_t at = end_;
    end_ += node_;
    nodes_[at] = std::string(static_cast<size_t>(node_), '\0');
    dirty_[at] = true;
    grown_ = true;
    std::string& head = header(0);
    if (layout_ == Layout::Mdx) {
        PutLe32(head.data() + 32, static_cast<std::uint32_t>(end_ / kNode));   // pages in the file
        dirty_[0] = true;
    } else if (layout_ == Layout::Ndx || GetLe32(head.data() + 8) != 0) {
        PutLe32(head.data() + (paged_ ? 4 : 8), static_cast<std::uint32_t>(paged_ ? end_ / kNode : end_));
        dirty_[0] = true;
    }
    return at;
}

// A .ndx separator holds no record number: ties are decided by the record
// of the last key under the child.
std::uint32_t TreePatch::lastRecordUnder(std::uint64_t at, const Tag& tag)
{
    for (int depth = 0; depth < 64; ++depth) {
        Node n = decode(at, tag, nullptr);
        if (n.entries.empty()) throw Unusable();
        if (n.leaf) return n.entries.back().record;
        at = n.entries.back().child;
    }
    throw Unusable();
}

// The nodes from the root down to the leaf where entry is or belongs.
std::vector<TreePatch::Step> TreePatch::descend(const Tag& tag, const IndexKey& entry)
{
    std::vector<Step> path;
    std::uint64_t at = root(tag);
    Entry separator;
    separator.known = false;
    for (int depth = 0; depth < 64; ++depth) {
        Node n = decode(at, tag, &separator);
        if (n.leaf) {
            path.push_back({std::move(n), 0});
            return path;
        }
        size_t k = 0;
        for (; k < n.entries.size(); ++k) {
            const Entry& e = n.entries[k];
            if (!e.known || KeyLess(entry.key, e.key, tag.order)) break;
            if (KeyLess(e.key, entry.key, tag.order)) continue;
            if (entry.record <= (paged_ ? lastRecordUnder(e.child, tag) : e.record)) break;
        }
        k = std::min(k, n.entries.size() - 1);   // past the last key: the last child
        separator = n.entries[k];
        at = separator.child;
        path.push_back({std::move(n), k});
    }
    throw Unusable();
}

// Encodes the changed leaf at the end of path and carries its effects up:
// separators that changed, nodes split, a new root.
void TreePatch::store(const Tag& tag, std::vector<Step>& path)
{
    for (size_t i = path.size(); i-- > 0;) {
        std::vector<Node> parts = split(path[i].node, tag);
        if (i == 0 && parts.size() == 2) parts[0].attributes &= static_cast<std::uint16_t>(~1u);
        for (const Node& part : parts) put(part, tag);
        auto last = [](const Node& n) { return n.entries.back(); };
        if (i == 0) {
            if (parts.size() == 1) return;
            Node top;
            top.leaf = false;
            top.attributes = 1;
            Entry left = last(parts[0]), right = last(parts[1]);
            left.child = parts[0].at;
            right.child = parts[1].at;
            right.known = !paged_;
            top.entries = {left, right};
            top.at = allocate();
            put(top, tag);
            std::string& head = header(tag.header);
            PutLe32(head.data(), static_cast<std::uint32_t>(paged_ ? top.at / kNode : top.at));
            dirty_[tag.header] = true;
            return;
        }
        Node& parent = path[i - 1].node;
        const size_t k = path[i - 1].child;
        Entry& slot = parent.entries[k];
        if (parts.size() == 1) {
            if (!slot.known) return;   // the right edge: no separator above holds its key
            const Entry now = last(parts[0]);
            if (now.key == slot.key && (paged_ || now.record == slot.record)) return;
            slot.key = now.key;
            slot.record = now.record;
            continue;
        }
        Entry left = last(parts[0]), right = last(parts[1]);
        left.child = parts[0].at;
        left.known = true;
        right.child = parts[1].at;
        right.known = slot.known;
        slot = left;
        parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(k) + 1, right);
    }
}

// The node as it is, or halves that fit: the left keeps its place, the right
// is a new node linked in beside it.
std::vector<TreePatch::Node> TreePatch::split(Node node, const Tag& tag)
{
    if (encode(node, tag)) return {std::move(node)};
    const size_t count = node.entries.size();
    if (count < 2) throw Unusable();
    Node right = node;
    for (size_t mid = count / 2, tries = 0; tries < count; ++tries) {
        node.entries.assign(right.entries.begin(), right.entries.begin() + static_cast<std::ptrdiff_t>(mid));
        Node second = right;
        second.entries.erase(second.entries.begin(), second.entries.begin() + static_cast<std::ptrdiff_t>(mid));
        const bool leftFits = encode(node, tag).has_value(), rightFits = encode(second, tag).has_value();
        if (leftFits && rightFits) {
            second.at = allocate();
            second.attributes = node.leaf ? 2 : 0;
            second.left = static_cast<std::uint32_t>(node.at);
            second.right = node.right;
            if (layout_ == Layout::Compact && node.right != kNone) {
                PutLe32(bytes(node.right).data() + 4, static_cast<std::uint32_t>(second.at));
                dirty_[node.right] = true;
            }
            node.right = static_cast<std::uint32_t>(second.at);
            return {std::move(node), std::move(second)};
        }
        if (!leftFits && mid > 1) --mid;
        else if (!rightFits && mid + 1 < count) ++mid;
        else break;
    }
    throw Unusable();
}

void TreePatch::erase(const Tag& tag, const IndexKey& entry)
{
    std::vector<Step> path = descend(tag, entry);
    std::vector<Entry>& entries = path.back().node.entries;
    auto at = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
        return e.record == entry.record && !KeyLess(e.key, entry.key, tag.order) && !KeyLess(entry.key, e.key, tag.order);
    });
    if (at == entries.end()) throw Unusable();   // not where it belongs: the tree is stale
    entries.erase(at);
    // An emptied leaf would have to leave the tree; that is left to a rebuild.
    if (entries.empty() && path.size() > 1) throw Unusable();
    store(tag, path);
}

void TreePatch::insert(const Tag& tag, const IndexKey& entry)
{
    std::vector<Step> path = descend(tag, entry);
    std::vector<Entry>& entries = path.back().node.entries;
    auto at = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
        if (KeyLess(entry.key, e.key, tag.order)) return true;
        return !KeyLess(e.key, entry.key, tag.order) && entry.record < e.record;
    });
    Entry e;
    e.key = entry.key;
    e.record = entry.record;
    entries.insert(at, std::move(e));
    store(tag, path);
}

std::optional<IndexKey> TreePatch::find(const Tag& tag, const std::string& key)
{
    std::vector<Step> path = descend(tag, IndexKey{key, 0});
    for (const Entry& e : path.back().node.entries) {
        if (KeyLess(e.key, key, tag.order)) continue;
        if (KeyLess(key, e.key, tag.order)) break;
        return IndexKey{e.key, e.record};
    }
    return std::nullopt;
}

void TreePatch::write()
{
    // New nodes first, so that no node written points at one not yet there.
    std::vector<std::uint64_t> order;
    for (const auto& [at, changed] : dirty_)
        if (changed) order.push_back(at);
    std::stable_partition(order.begin(), order.end(), [&](std::uint64_t at) { return at >= std::uint64_t(size_); });
    try {
        for (std::uint64_t at : order) {
            written_.push_back(at);
            file_->writeAt(static_cast<std::int64_t>(at), nodes_[at].data(), nodes_[at].size());
        }
    } catch (const EngineError& e) {
        const std::string left = undo();
        throw EngineError(e.what() + left);
    }
}

std::string TreePatch::undo()
{
    std::string failed;
    for (auto at = written_.rbegin(); at != written_.rend(); ++at) {
        if (*at >= std::uint64_t(size_)) continue;
        try {
            file_->writeAt(static_cast<std::int64_t>(*at), original_[*at].data(), original_[*at].size());
        } catch (const EngineError& e) {
            failed += "; and " + BaseName(file_->path()) + " could not be put back: " + e.what();
        }
    }
    if (grown_ && !written_.empty()) {
        try {
            file_->truncate(size_);
        } catch (const EngineError& e) {
            failed += "; and " + BaseName(file_->path()) + " could not be cut back: " + e.what();
        }
    }
    written_.clear();
    return failed;
}

} // namespace tarnel
