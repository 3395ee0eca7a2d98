// Opening index files, and the single-tag .ndx and multiple-tag .mdx of dBASE.
#include <algorithm>
#include <functional>
#include <set>

#include "engine/bytes.h"
#include "engine/database.h"
#include "engine/dbf/index/index_file.h"
#include "engine/error.h"
#include "engine/fileio/file.h"

namespace tarnel {

IndexFile::IndexFile(std::string path, IndexSource source)
    : path_(std::move(path)), name_(BaseName(path_)), source_(std::move(source))
{
}

void IndexFile::damaged(const std::string& why) const
{
    throw EngineError("The index file " + name_ + " is damaged: " + why + ".");
}

const unsigned char* IndexFile::at(std::uint64_t offset, std::uint64_t n) const
{
    if (offset > source_.size || n > source_.size - offset)
        damaged("it points past its end (offset " + std::to_string(offset) + ")");
    if (!source_.file) return reinterpret_cast<const unsigned char*>(source_.bytes.data()) + offset;
    auto [piece, fresh] = read_.try_emplace({offset, n});
    if (fresh) {
        piece->second.resize(static_cast<size_t>(n));
        if (source_.file->readAt(static_cast<std::int64_t>(offset), piece->second.data(), piece->second.size()) != n) {
            read_.erase(piece);
            damaged("it ends before offset " + std::to_string(offset + n));
        }
    }
    return reinterpret_cast<const unsigned char*>(piece->second.data());
}

const std::string& IndexFile::bytes() const
{
    if (source_.file && source_.bytes.size() != source_.size) {
        std::string whole(static_cast<size_t>(source_.size), '\0');
        source_.file->readExact(0, whole.data(), whole.size(), "the index");
        source_.bytes = std::move(whole);
    }
    return source_.bytes;
}

void IndexFile::seek(size_t tag, const std::string& low, const KeyVisit& visit) const
{
    std::vector<IndexKey> all = keys(tag);
    auto from = std::lower_bound(all.begin(), all.end(), low,
                                 [](const IndexKey& k, const std::string& v) { return k.key < v; });
    for (; from != all.end(); ++from)
        if (!visit(*from)) return;
}

namespace {

std::string ExpressionText(const unsigned char* p, size_t n)
{
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    std::string s(reinterpret_cast<const char*>(p), len);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

// dBASE B-trees: a node is a count followed by entries of a pointer (child
// page in an interior node, record number in a leaf) and the key. An interior
// node has one pointer more than it has keys.
class DbaseTree {
public:
    using At = std::function<const unsigned char*(std::uint64_t, std::uint64_t)>;
    using Damaged = std::function<void(const std::string&)>;

    // pointerSkip: bytes before the first entry; entryLeaf decides a leaf.
    DbaseTree(At at, Damaged damaged, std::uint64_t pageSize, std::uint64_t blockSize, unsigned header,
              unsigned itemLength, unsigned keyLength, bool mdx)
        : at_(std::move(at)), damaged_(std::move(damaged)), page_(pageSize), block_(blockSize),
          header_(header), item_(itemLength), keyLength_(keyLength), mdx_(mdx)
    {
    }

    void walk(std::uint32_t node, int depth, std::vector<IndexKey>& out)
    {
        if (depth > 64 || !seen_.insert(node).second) fail("its nodes form a loop");
        const unsigned char* p = at_(std::uint64_t(node) * page_, block_);
        std::uint32_t count = GetLe32(p);
        if (header_ + (std::uint64_t(count) + 1) * item_ > block_ + (mdx_ ? 0 : item_))
            fail("a node holds a bad key count");
        auto entry = [&](std::uint32_t k) { return p + header_ + std::uint64_t(k) * item_; };
        // A leaf's entries carry record numbers; after an interior node's last
        // key comes one more child pointer.
        bool leaf = mdx_ ? (header_ + (std::uint64_t(count) + 1) * item_ > block_ || GetLe32(entry(count)) == 0)
                         : GetLe32(entry(0)) == 0;
        if (leaf) {
            for (std::uint32_t k = 0; k < count; ++k) {
                const unsigned char* e = entry(k);
                out.push_back({std::string(reinterpret_cast<const char*>(e + 8 - (mdx_ ? 4 : 0)), keyLength_),
                               GetLe32(e + (mdx_ ? 0 : 4))});
            }
            return;
        }
        for (std::uint32_t k = 0; k <= count; ++k) walk(GetLe32(entry(k)), depth + 1, out);
    }

private:
    void fail(const std::string& why) { damaged_(why); throw EngineError(why); }

    At at_;
    Damaged damaged_;
    std::uint64_t page_, block_;
    unsigned header_, item_, keyLength_;
    bool mdx_;
    std::set<std::uint32_t> seen_;
};

class NdxIndex : public IndexFile {
public:
    NdxIndex(const std::string& path, IndexSource source) : IndexFile(path, std::move(source))
    {
        const unsigned char* h = at(0, 512);
        IndexTag t;
        t.file = name_;
        auto dot = name_.find_last_of('.');
        t.name = dot == std::string::npos ? name_ : name_.substr(0, dot);
        t.keyLength = GetLe16(h + 12);
        item_ = GetLe16(h + 18);
        if (t.keyLength <= 0 || t.keyLength > 100 || item_ < unsigned(t.keyLength) + 8 || item_ > 200)
            damaged("its key length of " + std::to_string(t.keyLength) + " does not fit its entries");
        t.keyType = GetLe16(h + 16) ? 'N' : 'C';
        t.unique = h[23] != 0;
        t.expression = ExpressionText(h + 24, 488);
        if (t.expression.empty()) damaged("it has no key expression");
        tags_.push_back(std::move(t));
    }

    std::vector<IndexKey> keys(size_t tag) const override
    {
        const unsigned char* h = at(0, 512);
        std::vector<IndexKey> out;
        DbaseTree tree([this](std::uint64_t o, std::uint64_t n) { return at(o, n); },
                       [this](const std::string& why) { damaged(why); }, 512, 512, 4, item_,
                       static_cast<unsigned>(tags_.at(tag).keyLength), false);
        tree.walk(GetLe32(h), 0, out);
        return out;
    }

private:
    unsigned item_ = 0;
};

class MdxIndex : public IndexFile {
public:
    MdxIndex(const std::string& path, IndexSource source) : IndexFile(path, std::move(source))
    {
        const unsigned char* h = at(0, 544);
        block_ = GetLe16(h + 22);
        if (block_ < 512 || block_ % 512) damaged("its block size of " + std::to_string(block_) + " is not a multiple of 512");
        unsigned count = GetLe16(h + 28);
        if (count > 48) damaged("it claims " + std::to_string(count) + " tags");
        for (unsigned k = 0; k < count; ++k) {
            const unsigned char* e = at(544 + 32 * k, 32);
            std::uint32_t page = GetLe32(e);
            const unsigned char* th = at(std::uint64_t(page) * 512, 512);
            IndexTag t;
            t.file = name_;
            t.name = ExpressionText(e + 4, 11);
            t.keyType = static_cast<char>(th[9]);
            t.descending = th[8] & 0x08;
            t.unique = (th[8] & 0x40) || th[23];
            t.keyLength = GetLe16(th + 12);
            unsigned item = GetLe16(th + 18);
            if (t.keyLength <= 0 || t.keyLength > 100 || item < unsigned(t.keyLength) + 4 || item > block_ / 2)
                damaged("tag " + t.name + " has a key length of " + std::to_string(t.keyLength) + " that does not fit its entries");
            t.expression = ExpressionText(th + 24, 220);
            if (th[0xF6] != 0) t.filter = ExpressionText(th + 0xFA, 220);
            if (t.expression.empty()) damaged("tag " + t.name + " has no key expression");
            tags_.push_back(std::move(t));
            roots_.push_back(GetLe32(th));
            headers_.push_back(std::uint64_t(page) * 512);
            items_.push_back(item);
        }
    }

    std::vector<IndexKey> keys(size_t tag) const override
    {
        std::vector<IndexKey> out;
        DbaseTree tree([this](std::uint64_t o, std::uint64_t n) { return at(o, n); },
                       [this](const std::string& why) { damaged(why); }, 512, block_, 8, items_.at(tag),
                       static_cast<unsigned>(tags_.at(tag).keyLength), true);
        tree.walk(roots_.at(tag), 0, out);
        return out;
    }

private:
    std::uint64_t block_ = 1024;
    std::vector<std::uint32_t> roots_;
    std::vector<unsigned> items_;
};

} // namespace

std::unique_ptr<IndexFile> OpenNdxIndex(const std::string& path, IndexSource source)
{
    return std::make_unique<NdxIndex>(path, std::move(source));
}

std::unique_ptr<IndexFile> OpenMdxIndex(const std::string& path, IndexSource source)
{
    return std::make_unique<MdxIndex>(path, std::move(source));
}

std::unique_ptr<IndexFile> IndexFile::open(const std::string& path)
{
    auto file = std::make_shared<File>(File::open(path, true));
    const std::int64_t size = file->size();
    if (size > (std::int64_t(1) << 40)) throw EngineError("The index file " + BaseName(path) + " is too large to read.");
    const std::string ext = IndexExtension(path);
    unsigned char head[16] = {};
    const size_t got = file->readAt(0, head, sizeof head);
    // Small files are read whole; of large ones only the nodes wanted.
    auto source = [&]() {
        if (size > (std::int64_t(1) << 20)) return IndexSource(file, static_cast<std::uint64_t>(size));
        std::string bytes(static_cast<size_t>(size), '\0');
        file->readExact(0, bytes.data(), bytes.size(), "the index");
        return IndexSource(std::move(bytes));
    };
    if (ext == ".cdx") return OpenCompactIndex(path, source(), true);
    if (ext == ".idx") {
        if (size < 512 || got < sizeof head)
            throw EngineError("The index file " + BaseName(path) + " is damaged: the file is shorter than its header.");
        if (head[14] & 0x20) return OpenCompactIndex(path, source(), false);
        return OpenPlainIdx(path, source());
    }
    if (ext == ".ndx") return OpenNdxIndex(path, source());
    if (ext == ".mdx") return OpenMdxIndex(path, source());
    throw EngineError("The index file " + BaseName(path) + " is of a kind that cannot be read.");
}

std::string IndexExtension(const std::string& path)
{
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = base.substr(dot);
    for (char& c : ext) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::vector<std::string> FindTableIndexFiles(const std::string& dataPath)
{
    std::string base = BaseName(dataPath);
    std::string folder = base.size() < dataPath.size() ? dataPath.substr(0, dataPath.size() - base.size() - 1) : std::string();
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::vector<std::string> found;
    for (const char* ext : {".cdx", ".mdx", ".ndx", ".idx"}) {
        std::string path = FindFileInFolder(folder, stem + ext);
        if (!path.empty()) found.push_back(path);
    }
    return found;
}

} // namespace tarnel
