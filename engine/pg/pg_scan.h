#pragma once
// A query's walk over a server table. The conditions the server can answer
// exactly as local SQL would (a column compared with a constant: integers,
// double precision, dates by day number, booleans, texts) go into the
// SELECT's WHERE clause as parameters, so an index on the column serves
// them; the rest are left to the caller, which tests every row anyway.
// The rows come through a cursor in blocks, in a read-only transaction.
#include <memory>
#include <string>
#include <vector>

#include "engine/pg/pg_connection.h"
#include "engine/sql/scan_terms.h"
#include "engine/table_format.h"

namespace tarnel::pg {

// The WHERE clause ("" when none) and its parameters for the terms the
// server can answer.
std::string ServerCondition(Connection& connection, const std::vector<ServerColumn>& columns,
                            const std::vector<sql::ScanTerm>& terms, std::vector<Text>& params);

class ServerScan : public RowScan {
public:
    // Starts the scan; the connection must outlive it.
    ServerScan(Connection& connection, const std::string& table, const std::vector<ServerColumn>& columns,
               const std::vector<sql::ScanTerm>& terms);
    ~ServerScan() override;

    bool next() override;
    const Value& value(int field) override;

private:
    void fetch();
    Connection& connection_;
    std::vector<ServerColumn> columns_;
    std::string cursor_;
    bool ownsTransaction_ = false;
    std::unique_ptr<Result> block_;
    int at_ = -1;
    bool last_ = false;   // the block is the cursor's last
    std::vector<Value> values_;
    std::vector<char> loaded_;
};

} // namespace tarnel::pg
