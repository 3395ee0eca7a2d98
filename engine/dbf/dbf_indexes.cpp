// The index files beside a dBASE/FoxPro table, as seen from the table: their
// tags, the primary key a unique or candidate tag gives, and looking values
// up through a tag keyed on one field.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/bytes.h"
#include "engine/database.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/dbf/index/index_key.h"
#include "engine/error.h"

namespace tarnel {

DbfTable::~DbfTable() = default;

// The index files beside the table as read: each is read once per open and
// shared by the tag list, the lookups and the keeper.
struct DbfTable::ReadIndexes {
    std::vector<std::string> paths;
    std::vector<std::shared_ptr<IndexFile>> files;   // null where the file could not be read
    std::vector<std::string> errors;                 // why, where it could not
    std::string firstError() const
    {
        for (const std::string& e : errors)
            if (!e.empty()) return e;
        return {};
    }
};

// What the index files give for reading: lookups and the primary key.
struct DbfTable::IndexUse {
    struct Lookup {
        const IndexFile* file = nullptr;
        size_t tag = 0;
        KeyExpression expression;
        const DbfField* field = nullptr;
    };
    std::string error;   // why the index files could not be read
    std::shared_ptr<ReadIndexes> files;   // what the lookups point into
    std::vector<std::optional<Lookup>> lookups;   // by field
    std::vector<int> primaryKey;
};

namespace {

KeyStyle StyleOf(const std::string& path)
{
    const std::string ext = IndexExtension(path);
    if (ext == ".ndx") return KeyStyle::Ndx;
    if (ext == ".mdx") return KeyStyle::Mdx;
    return KeyStyle::FoxPro;
}

// The length of the key a lookup tag holds for the field.
int LookupKeyLength(const DbfField& f, KeyStyle style)
{
    if (f.letter == 'C' && f.type == ftString) return f.length;
    if (style != KeyStyle::FoxPro) return 0;   // dBASE number keys do not order byte by byte
    if (f.letter == 'N' || f.letter == 'F') return 8;
    if (f.letter == 'I') return 4;
    return 0;
}

std::int32_t ClampToInt32(double v)
{
    return static_cast<std::int32_t>(std::clamp(v, double(std::numeric_limits<std::int32_t>::min()),
                                                double(std::numeric_limits<std::int32_t>::max())));
}

bool PrintableAscii(const std::string& s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

} // namespace

std::vector<std::string> DbfTable::indexFiles() const
{
    return FindTableIndexFiles(file_.path());
}

const DbfTable::ReadIndexes& DbfTable::readIndexes() const
{
    if (readIndexes_) return *readIndexes_;
    auto read = std::make_shared<ReadIndexes>();
    read->paths = indexFiles();
    for (const std::string& path : read->paths) {
        try {
            read->files.push_back(IndexFile::open(path));
            read->errors.emplace_back();
        } catch (const EngineError& e) {
            read->files.emplace_back();
            read->errors.emplace_back(e.what());
        }
    }
    readIndexes_ = read;
    return *read;
}

std::vector<IndexTag> DbfTable::indexTags()
{
    const ReadIndexes& read = readIndexes();
    std::vector<IndexTag> out;
    for (size_t k = 0; k < read.files.size(); ++k) {
        if (!read.files[k]) throw EngineError(read.errors[k]);
        for (const IndexTag& t : read.files[k]->tags()) out.push_back(t);
    }
    return out;
}

std::string DbfTable::writeBlocked() const
{
    if (!indexChecked_) findUnkeptIndex();
    return indexBlock_;
}

// Index files we cannot keep up to date would go stale under our writes, and
// another program would trust them; such a table is only read.
void DbfTable::findUnkeptIndex() const
{
    indexChecked_ = true;
    const std::string& path = file_.path();
    std::string base = BaseName(path);
    std::string folder = base.size() < path.size() ? path.substr(0, path.size() - base.size() - 1) : std::string();
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string why, detail;
    if (header_.flavor != DbfFlavor::DBase2 && (header_.tableFlags & 0x01)) {
        std::string production = stem + (header_.isFoxPro() ? ".cdx" : ".mdx");
        if (FindFileInFolder(folder, production).empty()) why = "its production index " + production;
    }
    std::string clipper = FindFileInFolder(folder, stem + ".ntx");
    if (why.empty() && !clipper.empty()) why = "its index file " + BaseName(clipper);
    if (why.empty()) {
        const ReadIndexes& read = readIndexes();
        if (!read.paths.empty()) {
            // The keeper works from the files as read here; when a write
            // replaces them, they are read again.
            auto open = [&read](const std::string& path) -> std::shared_ptr<const IndexFile> {
                for (size_t k = 0; k < read.paths.size(); ++k)
                    if (read.paths[k] == path) {
                        if (!read.files[k]) throw EngineError(read.errors[k]);
                        return read.files[k];
                    }
                return IndexFile::open(path);
            };
            indexes_ = std::make_unique<IndexKeeper>(read.paths, header_, open);
            why = indexes_->blocked();
            if (!indexes_->damage().empty()) detail = " (" + indexes_->damage() + ")";
            if (!why.empty()) indexes_.reset();
        }
    }
    if (!why.empty())
        indexBlock_ = base + ": " + why + " cannot be kept up to date; the table is open read-only" + detail;
}

void DbfTable::updateIndexes(const std::vector<IndexRecordChange>& changes, const std::function<void()>& undo)
{
    // The files read for lookups and the key are replaced below: read them again when next wanted.
    indexUse_.reset();
    readIndexes_.reset();
    if (!indexes_ || indexes_->empty()) return;
    cacheCount_ = 0;
    try {
        auto record = [this](std::int64_t r) { return record_(r); };
        if (changes.empty() || !indexes_->patch(changes, record, header_.recordCount))
            indexes_->rebuild(record, header_.recordCount);
    } catch (const EngineError& e) {
        std::string message = BaseName(file_.path()) + ": the change is undone, because the index files could not follow it: " + e.what();
        try {
            undo();
        } catch (const EngineError& again) {
            message = BaseName(file_.path()) + ": the index files could not follow a change (" + e.what() +
                      "), and the change could not be undone: " + again.what();
        }
        cacheCount_ = 0;
        throw EngineError(message);
    }
}

DbfTable::IndexUse& DbfTable::indexUse() const
{
    if (indexUse_) return *indexUse_;
    auto use = std::make_shared<IndexUse>();
    use->lookups.resize(visible_.size());
    auto visibleIndex = [&](const DbfField* f) {
        auto at = std::find(visible_.begin(), visible_.end(), static_cast<int>(f - header_.fields.data()));
        return at == visible_.end() ? -1 : static_cast<int>(at - visible_.begin());
    };
    bool candidateKey = false;
    readIndexes();
    use->files = readIndexes_;
    try {
        if (std::string error = use->files->firstError(); !error.empty()) throw EngineError(error);
        for (size_t n = 0; n < use->files->files.size(); ++n) {
            IndexFile& file = *use->files->files[n];
            const KeyStyle style = StyleOf(use->files->paths[n]);
            for (size_t k = 0; k < file.tags().size(); ++k) {
                const IndexTag& tag = file.tags()[k];
                auto expression = KeyExpression::compile(tag.expression, header_, style);
                if (!expression) continue;
                if (style == KeyStyle::FoxPro) file.setKeyType(k, expression->type());
                const auto fields = expression->plainFields();
                if (fields.empty() || !tag.filter.empty()) continue;
                // A candidate tag is the key; the first unique one stands in when none is.
                if ((tag.candidate && !candidateKey) || (tag.unique && use->primaryKey.empty())) {
                    std::vector<int> key;
                    for (const DbfField* f : fields) key.push_back(visibleIndex(f));
                    if (std::find(key.begin(), key.end(), -1) == key.end()) {
                        use->primaryKey = key;
                        candidateKey = tag.candidate;
                    }
                }
            }
            // Lookups: one field, every record (or every live one), every key
            // (a unique tag keeps only the first record of each).
            for (size_t k = 0; k < file.tags().size(); ++k) {
                const IndexTag& tag = file.tags()[k];
                auto expression = KeyExpression::compile(tag.expression, header_, style);
                if (!expression || expression->plainFields().size() != 1 || tag.descending) continue;
                if (tag.unique && !tag.candidate) continue;
                auto excluded = FilterExcludes(tag.filter, false);
                if (!excluded || *excluded) continue;
                const DbfField* f = expression->plainFields()[0];
                int field = visibleIndex(f);
                if (field < 0 || use->lookups[static_cast<size_t>(field)]) continue;
                if (LookupKeyLength(*f, style) == 0 || tag.keyLength != LookupKeyLength(*f, style)) continue;
                use->lookups[static_cast<size_t>(field)] = IndexUse::Lookup{&file, k, *expression, f};
            }
        }
    } catch (const EngineError& e) {
        use->error = e.what();
        use->lookups.assign(visible_.size(), std::nullopt);
        use->primaryKey.clear();
    }
    indexUse_ = use;
    return *indexUse_;
}

std::vector<int> DbfTable::primaryKey() const
{
    const IndexUse& use = indexUse();
    if (!use.error.empty()) throw EngineError(use.error);
    return use.primaryKey;
}

bool DbfTable::indexedField(int field)
{
    if (field < 0 || static_cast<size_t>(field) >= visible_.size()) return false;
    return indexUse().lookups[static_cast<size_t>(field)].has_value();
}

std::optional<std::vector<std::int64_t>> DbfTable::indexedRecords(int field, const Value& low, const Value& high)
{
    if (!indexedField(field)) return std::nullopt;
    const IndexUse::Lookup& lookup = *indexUse().lookups[static_cast<size_t>(field)];
    const DbfField& f = *lookup.field;
    const size_t width = static_cast<size_t>(lookup.file->tags()[lookup.tag].keyLength);

    // The keys to walk between, widened where the index's order and SQL's
    // could differ: the lookup may give more records, never fewer.
    auto keyOf = [&](const Value& v, bool upper) -> std::optional<std::string> {
        if (f.letter == 'C') {
            if (v.kind != Value::Kind::Text || !PrintableAscii(v.s)) return std::nullopt;
            std::string bytes;
            if (!codePage_->encode(v.s, bytes) || bytes.size() != v.s.size()) return std::nullopt;
            // Padded below anything a longer value could hold after the
            // constant; from above, blanks are what a value equal to it or
            // below it (printable constant) holds at most.
            bytes.resize(std::min(bytes.size(), width));
            bytes.resize(width, upper ? ' ' : '\0');
            return bytes;
        }
        double d;
        if (v.kind == Value::Kind::Int) d = static_cast<double>(v.i);
        else if (v.kind == Value::Kind::Float) d = v.f;
        else return std::nullopt;
        if (std::isnan(d)) return std::nullopt;
        if (f.letter == 'I') return FoxIntegerKey(ClampToInt32(upper ? std::ceil(d) : std::floor(d)));
        // Stored numbers are decimal text; allow for the last bits of their conversion.
        double slack = std::fabs(d) * 1e-12 + 1e-300;
        return FoxNumberKey(upper ? d + slack : d - slack);
    };
    const auto lowKey = low.isNull() ? std::nullopt : keyOf(low, false);
    const auto highKey = high.isNull() ? std::nullopt : keyOf(high, true);
    if (!lowKey && !highKey) return std::nullopt;   // the whole index: reading the table is quicker

    std::vector<std::int64_t> records;
    bool trusted = true;
    const std::int64_t count = physicalCount();
    // A damaged index leaves the lookup to a full scan; listing the table's
    // tags names the damage.
    try {
        lookup.file->seek(lookup.tag, lowKey.value_or(std::string()), [&](const IndexKey& k) {
        if (highKey && k.key > *highKey) return false;
        // A key that is not the record's own (a stale index, another
        // collation) makes the index untrustworthy for this lookup.
        const std::int64_t r = std::int64_t(k.record) - 1;
        if (r < 0 || r >= count || lookup.expression.evaluate(rawRecord(r)) != k.key) {
            trusted = false;
            return false;
        }
        records.push_back(r);
        return true;
        });
    } catch (const EngineError&) {
        return std::nullopt;
    }
    if (!trusted) return std::nullopt;
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    return records;
}

} // namespace tarnel
