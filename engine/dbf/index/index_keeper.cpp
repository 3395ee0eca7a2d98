// Keeping the index files beside a table true to its records.
#include "engine/dbf/index/index_keeper.h"

#include <algorithm>

#include "engine/bytes.h"
#include "engine/dataset.h"
#include "engine/error.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_patch.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/dbf/index/mdx_writer.h"
#include "engine/fileio/file.h"

namespace tarnel {

namespace {

std::string ReadWhole(const std::string& path)
{
    File file = File::open(path, true);
    std::string bytes(static_cast<size_t>(file.size()), '\0');
    file.readExact(0, bytes.data(), bytes.size(), "the index");
    return bytes;
}

// A .mdx tag's key type as stored: float fields key as numbers.
char MdxKeyType(char stored)
{
    return stored == 'F' ? 'N' : stored;
}

KeyOrder OrderOf(const KeyExpression& key)
{
    return key.type() == 'N' ? KeyOrder::Decimal : key.type() == 'D' ? KeyOrder::Double : KeyOrder::Bytes;
}

int KeyLength(const KeyExpression& key, const DbfHeader& header)
{
    std::string blank(static_cast<size_t>(header.recordLength), ' ');
    return static_cast<int>(key.evaluate(blank.data()).size());
}

EngineError RepeatedKey(const IndexTag& tag, std::uint32_t a, std::uint32_t b)
{
    return EngineError("records " + std::to_string(std::min(a, b)) + " and " + std::to_string(std::max(a, b)) +
                       " would have the same key in tag " + tag.name + " of " + tag.file + ", which allows each key once");
}

EngineError ChangedElsewhere(const std::string& path)
{
    return EngineError("The index file " + BaseName(path) + " was changed by another program; open the table again.");
}

} // namespace

IndexKeeper::IndexKeeper(const std::vector<std::string>& paths, const DbfHeader& header, const Opener& open)
    : header_(header)
{
    for (const std::string& path : paths) {
        const std::string name = BaseName(path), ext = IndexExtension(path);
        std::shared_ptr<const IndexFile> index;
        try {
            index = open ? open(path) : IndexFile::open(path);
        } catch (const EngineError& e) {
            blocked_ = "its index file " + name;
            damage_ = e.what();
            return;
        }
        KeptFile file;
        file.path = path;
        file.ndx = ext == ".ndx";
        file.compound = ext == ".cdx";
        file.plain = ext == ".idx" && !IsCompactIdx(index->bytes().substr(0, 16));
        file.mdx = ext == ".mdx";
        const KeyStyle style = file.ndx ? KeyStyle::Ndx : file.mdx ? KeyStyle::Mdx : KeyStyle::FoxPro;
        for (size_t k = 0; k < index->tags().size(); ++k) {
            const IndexTag& t = index->tags()[k];
            const std::string what = "tag " + t.name + " of " + name + " (" + t.expression;
            auto key = KeyExpression::compile(t.expression, header, style);
            if (!key || KeyLength(*key, header) != t.keyLength ||
                (file.ndx && (t.keyType == 'N') != (key->type() == 'B')) ||
                (file.mdx && MdxKeyType(t.keyType) != key->type())) {
                blocked_ = what + ")";
                return;
            }
            if (!FilterExcludes(t.filter, false).has_value()) {
                blocked_ = what + " FOR " + t.filter + ")";
                return;
            }
            Tag tag{t, *key};
            tag.info.keyType = key->type();
            file.tags.push_back(std::move(tag));
        }
        files_.push_back(std::move(file));
    }
}

bool IndexKeeper::changes(const char* before, const char* after) const
{
    for (const KeptFile& f : files_)
        for (const Tag& t : f.tags) {
            if (t.key.evaluate(before) != t.key.evaluate(after)) return true;
            if (FilterExcludes(t.info.filter, before[0] == '*') != FilterExcludes(t.info.filter, after[0] == '*'))
                return true;
        }
    return false;
}

std::vector<IndexKey> SortedTagKeys(const IndexTag& tag, const KeyExpression& key, const IndexKeeper::RecordAt& record,
                                    std::int64_t count, bool ndxNumber)
{
    return SortedTagKeys(tag, key, record, count, ndxNumber ? KeyOrder::Double : KeyOrder::Bytes);
}

std::vector<IndexKey> SortedTagKeys(const IndexTag& tag, const KeyExpression& key, const IndexKeeper::RecordAt& record,
                                    std::int64_t count, KeyOrder order)
{
    std::vector<IndexKey> keys;
    keys.reserve(static_cast<size_t>(count));
    for (std::int64_t r = 0; r < count; ++r) {
        const char* rec = record(r);
        if (FilterExcludes(tag.filter, rec[0] == '*').value_or(false)) continue;
        keys.push_back({key.evaluate(rec), static_cast<std::uint32_t>(r + 1)});
    }
    std::sort(keys.begin(), keys.end(), [order](const IndexKey& a, const IndexKey& b) {
        if (KeyLess(a.key, b.key, order)) return true;
        if (KeyLess(b.key, a.key, order)) return false;
        return a.record < b.record;
    });
    if (tag.unique || tag.candidate) {
        auto same = [order](const IndexKey& a, const IndexKey& b) {
            return !KeyLess(a.key, b.key, order) && !KeyLess(b.key, a.key, order);
        };
        auto repeat = std::adjacent_find(keys.begin(), keys.end(), same);
        if (tag.candidate && repeat != keys.end()) throw RepeatedKey(tag, repeat->record, (repeat + 1)->record);
        keys.erase(std::unique(keys.begin(), keys.end(), same), keys.end());
    }
    return keys;
}

std::string IndexKeeper::rebuilt(const KeptFile& file, const std::string& old, const RecordAt& record,
                                 std::int64_t count) const
{
    if (file.ndx) {
        const Tag& t = file.tags.front();
        return BuildNdxIndex(old.substr(0, 512), SortedTagKeys(t.info, t.key, record, count, t.info.keyType == 'B'));
    }
    if (file.plain) {
        const Tag& t = file.tags.front();
        return BuildPlainIdx(old.substr(0, 512), SortedTagKeys(t.info, t.key, record, count, false));
    }
    if (file.mdx) {
        if (OpenMdxIndex(file.path, old)->tags().size() != file.tags.size()) throw ChangedElsewhere(file.path);
        std::vector<MdxTagLayout> tags;
        for (size_t k = 0; k < file.tags.size(); ++k) {
            const Tag& t = file.tags[k];
            tags.push_back(MdxTagParts(old, k));
            tags.back().keys = SortedTagKeys(t.info, t.key, record, count, OrderOf(t.key));
            if (t.info.descending) std::reverse(tags.back().keys.begin(), tags.back().keys.end());
        }
        return BuildMdxIndex(old.substr(0, 544), tags);
    }
    auto index = OpenCompactIndex(file.path, old, file.compound);
    if (index->tags().size() != file.tags.size())
        throw ChangedElsewhere(file.path);
    std::vector<std::string> names, headers;
    std::vector<std::vector<IndexKey>> keys;
    std::vector<char> pads;
    for (size_t k = 0; k < file.tags.size(); ++k) {
        const Tag& t = file.tags[k];
        names.push_back(t.info.name);
        headers.push_back(old.substr(index->tagHeader(k), 1024));
        keys.push_back(SortedTagKeys(t.info, t.key, record, count, false));
        // A descending tag holds the same keys from the last to the first.
        if (t.info.descending) std::reverse(keys.back().begin(), keys.back().end());
        pads.push_back(t.key.type() == 'C' ? ' ' : '\0');
    }
    return BuildCompactIndex(file.compound ? old.substr(0, 1024) : std::string(), names, headers, keys, pads);
}

bool IndexKeeper::patch(const std::vector<IndexRecordChange>& changes, const RecordAt& record, std::int64_t count) const
{
    // Trees are changed in place only in ascending compact, .ndx or .mdx
    // layouts; the uncompressed .idx and descending tags are laid out anew.
    for (const KeptFile& f : files_) {
        if (f.plain) return false;
        for (const Tag& t : f.tags)
            if (t.info.descending) return false;
    }
    std::vector<std::unique_ptr<TreePatch>> patches;
    try {
        for (const KeptFile& f : files_) {
            using Layout = TreePatch::Layout;
            auto patch = std::make_unique<TreePatch>(f.path, f.ndx ? Layout::Ndx : f.mdx ? Layout::Mdx : Layout::Compact);
            std::vector<std::uint64_t> headers(f.tags.size(), 0);
            if (!f.ndx) {
                IndexSource source(patch->file(), std::uint64_t(patch->file()->size()));
                auto index = f.mdx ? OpenMdxIndex(f.path, std::move(source)) : OpenCompactIndex(f.path, std::move(source), f.compound);
                if (index->tags().size() != f.tags.size()) throw ChangedElsewhere(f.path);
                for (size_t k = 0; k < headers.size(); ++k) headers[k] = index->tagHeader(k);
            }
            for (size_t k = 0; k < f.tags.size(); ++k) {
                const Tag& t = f.tags[k];
                const TreePatch::Tag tree{headers[k], t.info.keyLength, t.key.type() == 'C' ? ' ' : '\0',
                                          f.ndx && t.info.keyType == 'B' ? KeyOrder::Double : OrderOf(t.key)};
                auto keyOf = [&](const char* rec) -> std::optional<std::string> {
                    if (!rec || FilterExcludes(t.info.filter, rec[0] == '*').value_or(false)) return std::nullopt;
                    return t.key.evaluate(rec);
                };
                for (const IndexRecordChange& c : changes) {
                    const auto before = keyOf(c.before), after = keyOf(c.after);
                    if (before == after) continue;
                    if (t.info.unique && !t.info.candidate) {
                        uniqueChange(*patch, tree, before, after, c.record, keyOf, record, count);
                        continue;
                    }
                    if (before) patch->erase(tree, {*before, c.record});
                    if (!after) continue;
                    if (t.info.candidate)
                        if (auto same = patch->find(tree, *after)) throw RepeatedKey(t.info, same->record, c.record);
                    patch->insert(tree, {*after, c.record});
                }
            }
            patches.push_back(std::move(patch));
        }
    } catch (const TreePatch::Unusable&) {
        return false;
    }
    for (size_t k = 0; k < patches.size(); ++k) {
        try {
            patches[k]->write();
        } catch (const EngineError& e) {
            std::string message = e.what();
            for (size_t back = 0; back < k; ++back) message += patches[back]->undo();
            throw EngineError(message);
        }
    }
    return true;
}

// A unique tag holds each key once, with the first record that has it.
void IndexKeeper::uniqueChange(TreePatch& patch, const TreePatch::Tag& tree, const std::optional<std::string>& before,
                               const std::optional<std::string>& after, std::uint32_t changed, const KeyOf& keyOf,
                               const RecordAt& record, std::int64_t count)
{
    if (before) {
        const auto held = patch.find(tree, *before);
        if (held && held->record == changed) {
            patch.erase(tree, *held);
            for (std::int64_t r = 0; r < count; ++r)
                if (keyOf(record(r)) == before) {
                    patch.insert(tree, {*before, static_cast<std::uint32_t>(r + 1)});
                    break;
                }
        }
    }
    if (after) {
        const auto held = patch.find(tree, *after);
        if (held && held->record < changed) return;
        if (held) patch.erase(tree, *held);
        patch.insert(tree, {*after, changed});
    }
}

void IndexKeeper::rebuild(const RecordAt& record, std::int64_t count) const
{
    // Every new file is made before any is replaced; a file that cannot be
    // replaced puts back those replaced before it.
    std::vector<std::string> olds, news;
    for (const KeptFile& f : files_) {
        olds.push_back(ReadWhole(f.path));
        news.push_back(rebuilt(f, olds.back(), record, count));
    }
    for (size_t k = 0; k < files_.size(); ++k) {
        try {
            WriteFileAtomically(files_[k].path, news[k]);
        } catch (const EngineError& e) {
            std::string message = e.what();
            for (size_t back = 0; back < k; ++back) {
                try {
                    WriteFileAtomically(files_[back].path, olds[back]);
                } catch (const EngineError& again) {
                    message += "; and " + BaseName(files_[back].path) + " could not be put back: " + again.what();
                }
            }
            throw EngineError(message);
        }
    }
}

void CreateCompoundIndex(const std::string& path, const std::vector<NewTag>& tags, const DbfHeader& header,
                         const IndexKeeper::RecordAt& record, std::int64_t count)
{
    std::vector<std::string> names, headers;
    std::vector<std::vector<IndexKey>> keys;
    std::vector<char> pads;
    for (const NewTag& t : tags) {
        auto key = KeyExpression::compile(t.expression, header, KeyStyle::FoxPro);
        if (!key) throw EngineError("The index expression " + t.expression + " cannot be evaluated.");
        if (!FilterExcludes(t.filter, false)) throw EngineError("The index filter " + t.filter + " cannot be evaluated.");
        IndexTag tag;
        tag.name = t.name;
        tag.file = BaseName(path);
        tag.expression = t.expression;
        tag.filter = t.filter;
        tag.candidate = t.candidate;
        names.push_back(t.name);
        headers.push_back(CompactTagHeader(t.expression, t.filter, KeyLength(*key, header), true, t.candidate));
        keys.push_back(SortedTagKeys(tag, *key, record, count, false));
        pads.push_back(key->type() == 'C' ? ' ' : '\0');
    }
    WriteFileAtomically(path, BuildCompactIndex(CompoundDirectoryHeader(), names, headers, keys, pads));
}

void CreateNdxIndex(const std::string& path, const std::string& expression, const DbfHeader& header,
                    const IndexKeeper::RecordAt& record, std::int64_t count, bool unique)
{
    auto key = KeyExpression::compile(expression, header, KeyStyle::Ndx);
    if (!key) throw EngineError("The index expression " + expression + " cannot be evaluated.");
    IndexTag tag;
    tag.name = BaseName(path);
    tag.file = tag.name;
    tag.expression = expression;
    tag.unique = unique;
    const bool numeric = key->type() == 'B';
    std::string head = NdxHeader(expression, KeyLength(*key, header), numeric, unique);
    WriteFileAtomically(path, BuildNdxIndex(head, SortedTagKeys(tag, *key, record, count, numeric)));
}

} // namespace tarnel

namespace tarnel {

std::vector<SavedIndex> SaveTableIndexes(const std::string& dbfPath)
{
    std::vector<SavedIndex> saved;
    for (const std::string& path : FindTableIndexFiles(dbfPath)) saved.push_back({path, ReadWhole(path)});
    return saved;
}

namespace {

// Sets the table header's flag that its production index opens with it.
void FlagProductionIndex(const std::string& dbfPath)
{
    File file = File::open(dbfPath, false);
    char flags = 0;
    file.readExact(28, &flags, 1, "the table header");
    if (flags & 0x01) return;
    flags = static_cast<char>(flags | 0x01);
    file.writeAt(28, &flags, 1);
}

// Marks in the table header the fields that a tag of its production .mdx
// keys on their own (descriptor byte 31), as dBASE IV and later keep it. A
// tag on an expression marks nothing.
void FlagTaggedFields(const std::string& dbfPath, const DbfHeader& header, const std::vector<std::string>& expressions)
{
    if (header.flavor != DbfFlavor::DBase3 && header.flavor != DbfFlavor::DBase4) return;   // 32-byte descriptors
    std::optional<File> file;
    for (const DbfField& f : header.fields) {
        if (f.system || f.descriptorOffset <= 0) continue;
        const bool tagged = std::any_of(expressions.begin(), expressions.end(), [&](const std::string& e) {
            const auto first = e.find_first_not_of(' '), last = e.find_last_not_of(' ');
            return first != std::string::npos && SameText(e.substr(first, last - first + 1), f.name);
        });
        if (!tagged) continue;
        if (!file) file.emplace(File::open(dbfPath, false));
        const char flag = 0x01;
        file->writeAt(f.descriptorOffset + 31, &flag, 1);
    }
}

// A .mdx put back with the tags the re-created table can key, their trees empty.
void RestoreMdx(const std::string& dbfPath, const DbfHeader& header, const SavedIndex& saved, std::vector<std::string>& dropped)
{
    const std::string name = BaseName(saved.path);
    std::unique_ptr<IndexFile> index;
    try {
        index = OpenMdxIndex(saved.path, saved.bytes);
    } catch (const EngineError&) {
        dropped.push_back("the index file " + name);
        RemoveFile(saved.path);
        return;
    }
    const unsigned block = GetLe16(saved.bytes.data() + 22);
    std::vector<MdxTagLayout> kept;
    std::vector<std::string> expressions;
    for (size_t k = 0; k < index->tags().size(); ++k) {
        const IndexTag& t = index->tags()[k];
        auto key = KeyExpression::compile(t.expression, header, KeyStyle::Mdx);
        const int length = key ? KeyLength(*key, header) : 0;
        if (!key || !FilterExcludes(t.filter, false) || length > 100) {
            dropped.push_back("tag " + t.name + " of " + name + " (" + t.expression + ")");
            continue;
        }
        MdxTagLayout tag = MdxTagParts(saved.bytes, k);
        SetMdxKeyLength(tag.header, length, block);
        if (MdxKeyType(t.keyType) != key->type()) tag.header[9] = tag.entry[20] = key->type();
        kept.push_back(std::move(tag));
        expressions.push_back(t.expression);
    }
    if (kept.empty()) {
        RemoveFile(saved.path);
        return;
    }
    if (kept.size() != index->tags().size()) ThreadMdxTags(kept);
    WriteFileAtomically(saved.path, BuildMdxIndex(saved.bytes.substr(0, 544), kept));
    if (saved.bytes[24] != 0 && !header.isFoxPro()) {
        FlagProductionIndex(dbfPath);
        FlagTaggedFields(dbfPath, header, expressions);
    }
}

} // namespace

std::vector<std::string> RestoreTableIndexes(const std::string& dbfPath, const std::vector<SavedIndex>& saved)
{
    std::vector<std::string> dropped;
    if (saved.empty()) return dropped;
    File file = File::open(dbfPath, true);
    std::string head(static_cast<size_t>(std::min<std::int64_t>(file.size(), 65536)), '\0');
    head.resize(file.readAt(0, head.data(), head.size()));
    const auto* h = reinterpret_cast<const unsigned char*>(head.data());
    DbfHeader header = ParseDbfHeader(dbfPath, h, head.size(), file.size());
    for (const SavedIndex& s : saved) {
        const std::string name = BaseName(s.path), ext = IndexExtension(s.path);
        if (ext == ".mdx") {
            RestoreMdx(dbfPath, header, s, dropped);
            continue;
        }
        std::unique_ptr<IndexFile> index;
        try {
            if (ext == ".cdx" || (ext == ".idx" && IsCompactIdx(s.bytes)))
                index = OpenCompactIndex(s.path, s.bytes, ext == ".cdx");
            else if (ext == ".idx")
                index = OpenPlainIdx(s.path, s.bytes);
            else if (ext == ".ndx")
                index = OpenNdxIndex(s.path, s.bytes);
        } catch (const EngineError&) {
        }
        std::vector<std::string> names, headers;
        for (size_t k = 0; index && k < index->tags().size(); ++k) {
            const IndexTag& t = index->tags()[k];
            auto key = KeyExpression::compile(t.expression, header, ext == ".ndx" ? KeyStyle::Ndx : KeyStyle::FoxPro);
            const int length = key ? KeyLength(*key, header) : 0;
            if (!key || !FilterExcludes(t.filter, false) || length > (ext == ".ndx" ? 100 : 240)) {
                dropped.push_back("tag " + t.name + " of " + name + " (" + t.expression + ")");
                continue;
            }
            names.push_back(t.name);
            if (ext == ".idx" && !IsCompactIdx(s.bytes)) {
                std::string th = s.bytes.substr(0, 512);
                PutLe16(th.data() + 12, static_cast<std::uint16_t>(length));
                headers.push_back(th);
            } else if (ext == ".ndx") {
                headers.push_back(NdxHeader(t.expression, length, key->type() == 'B', t.unique));
            } else {
                std::string th = s.bytes.substr(index->tagHeader(k), 1024);
                PutLe16(th.data() + 12, static_cast<std::uint16_t>(length));
                headers.push_back(th);
            }
        }
        if (!index) dropped.push_back("the index file " + name);
        if (names.empty()) {
            RemoveFile(s.path);
            continue;
        }
        std::string bytes = ext == ".idx" && !IsCompactIdx(s.bytes) ? BuildPlainIdx(headers.front(), {})
                            : ext == ".ndx"
                                ? BuildNdxIndex(headers.front(), {})
                                : BuildCompactIndex(ext == ".cdx" ? s.bytes.substr(0, 1024) : std::string(), names, headers,
                                                    std::vector<std::vector<IndexKey>>(names.size()),
                                                    std::vector<char>(names.size(), ' '));
        WriteFileAtomically(s.path, bytes);
        // A structural index is opened with the table because its header says so.
        if (ext == ".cdx" && header.isFoxPro()) FlagProductionIndex(dbfPath);
    }
    return dropped;
}

} // namespace tarnel
