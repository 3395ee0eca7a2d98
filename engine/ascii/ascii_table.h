#pragma once
// An ASCII table: rows of text in NAME.TXT, described by NAME.SCH.
//
// The rows are found by one pass over the file at open (an index of row
// offsets), so reading row n is one positioned read. Changing or deleting a
// row whose text changes length rewrites the file beside the old one and
// moves it into place, so a failure never leaves half a file.
#include <memory>
#include <string>
#include <vector>

#include "engine/ascii/schema.h"
#include "engine/codepage.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"
#include "engine/table_format.h"

namespace tarnel::ascii {

class AsciiTable final : public TableFormat {
public:
    AsciiTable(const std::string& path, bool readOnly);

    TableType type() const override { return TableType::ASCII; }
    const std::string& path() const override { return path_; }
    const std::vector<FieldDef>& fields() const override { return defs_; }
    std::int64_t physicalCount() const override { return static_cast<std::int64_t>(rows_.size()); }
    bool isDeleted(std::int64_t) override { return false; }
    bool isNull(std::int64_t record, int field) override;
    Value value(std::int64_t record, int field) override;
    std::int64_t updateRecord(std::int64_t record, const std::vector<Value>& values,
                      const std::vector<bool>& changed) override;
    std::int64_t appendRecord(const std::vector<Value>& values) override;
    void deleteRecord(std::int64_t record) override;
    std::vector<std::string> files() const override { return {path_, schemaPath_}; }

    const Schema& schema() const { return schema_; }

private:
    struct Row {
        std::int64_t start = 0;
        std::int64_t length = 0;   // without the line end
        std::int64_t end = 0;      // after the line end
    };
    void indexRows();
    const std::vector<std::string>& cells(std::int64_t record);   // raw text of each field
    Value parseCell(int field, const std::string& raw, std::int64_t record) const;
    std::string formatRow(const std::vector<Value>& values) const;
    std::string formatCell(int field, const Value& v) const;
    void replaceRange(std::int64_t from, std::int64_t to, const std::string& bytes);
    void checkRecord(std::int64_t record) const;
    void checkWritable(const char* what) const;
    void refresh();
    void noteFile();

    std::string path_, schemaPath_;
    std::string name_;   // for messages
    bool readOnly_;
    Schema schema_;
    std::vector<FieldDef> defs_;
    std::shared_ptr<const CodePage> cp_;
    File data_;
    File lock_;   // the schema file, locked while writable
    std::vector<Row> rows_;
    struct { long inode = 0, size = -1, mtime = 0, mtimeNs = 0; } indexed_;   // the file rows_ describe
    std::string lineEnd_ = "\r\n";

    std::int64_t cachedRecord_ = -1;
    std::vector<std::string> cache_;
};

void CreateAsciiFiles(const std::string& path, const std::vector<FieldDef>& fields, int codePage);

} // namespace tarnel::ascii
