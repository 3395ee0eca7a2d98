#include "engine/pg/pg_scan.h"

#include <cmath>
#include <cstdio>

#include "engine/daynum.h"
#include "engine/engine_types.h"
#include "engine/error.h"
#include "engine/pg/pg_values.h"
#include "engine/pg/pq_library.h"

namespace tarnel::pg {

namespace {

constexpr int kFetch = 2000;   // rows per FETCH

const char* OperatorOf(sql::ScanOp op)
{
    switch (op) {
    case sql::ScanOp::Eq:
    case sql::ScanOp::Is: return " = ";
    case sql::ScanOp::Ne: return " <> ";
    case sql::ScanOp::Lt: return " < ";
    case sql::ScanOp::Le: return " <= ";
    case sql::ScanOp::Gt: return " > ";
    case sql::ScanOp::Ge: return " >= ";
    default: return nullptr;
    }
}

bool Whole(const Value& v, std::int64_t& out)
{
    if (v.kind == Value::Kind::Int) {
        out = v.i;
        return true;
    }
    if (v.kind == Value::Kind::Float && std::isfinite(v.f) && v.f == std::trunc(v.f) && std::fabs(v.f) < 9e18) {
        out = static_cast<std::int64_t>(v.f);
        return true;
    }
    return false;
}

// The condition for one term, or "" when the server could answer it
// differently from local SQL (then the caller's test alone decides).
std::string TermCondition(Connection& connection, const ServerColumn& column, const sql::ScanTerm& term,
                          std::vector<Text>& params)
{
    if (column.readOnly) return {};
    const std::string name = connection.quote(column.field.name);
    if (term.op == sql::ScanOp::IsNull) return name + " IS NULL";
    if (term.op == sql::ScanOp::NotNull) return name + " IS NOT NULL";
    const char* op = OperatorOf(term.op);
    const Value& v = term.operand;
    if (!op || v.isNull()) return {};
    auto param = [&](std::string text, const char* cast) {
        params.emplace_back(std::move(text));
        return name + op + "$" + std::to_string(params.size()) + cast;
    };
    const TFieldType t = column.field.type;
    const std::string& type = column.serverType;
    std::int64_t whole = 0;
    if (IsTextType(t)) {
        if (v.kind != Value::Kind::Text) return {};
        // Equality is by the bytes in every deterministic collation; order is
        // by the bytes only in "C", as local SQL orders.
        const bool equality = term.op == sql::ScanOp::Eq || term.op == sql::ScanOp::Is || term.op == sql::ScanOp::Ne;
        if (type.rfind("character(", 0) == 0 && !equality) return {};   // blank-padded order
        return param(v.s, equality ? "" : " COLLATE \"C\"");
    }
    if (t == ftBoolean) {
        if (term.op != sql::ScanOp::Eq && term.op != sql::ScanOp::Is) return {};
        if (!Whole(v, whole) || (whole != 0 && whole != 1)) return {};
        return param(whole ? "t" : "f", "::boolean");
    }
    if (t == ftDate) {
        if (!Whole(v, whole)) return {};
        return param(DateText(whole), "::date");
    }
    if (t == ftSmallint || t == ftInteger || t == ftLargeint || t == ftAutoInc) {
        if (!Whole(v, whole)) return {};
        return param(std::to_string(whole), "::bigint");
    }
    if (t == ftFloat && type == "double precision") {
        double d = v.kind == Value::Kind::Int ? static_cast<double>(v.i) : v.f;
        if (v.kind != Value::Kind::Int && v.kind != Value::Kind::Float) return {};
        if (std::isnan(d)) return {};
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", d);
        return param(std::isinf(d) ? (d > 0 ? "Infinity" : "-Infinity") : buf, "::float8");
    }
    return {};
}

} // namespace

std::string ServerCondition(Connection& connection, const std::vector<ServerColumn>& columns,
                            const std::vector<sql::ScanTerm>& terms, std::vector<Text>& params)
{
    std::string where;
    for (const sql::ScanTerm& term : terms) {
        if (term.field < 0 || static_cast<std::size_t>(term.field) >= columns.size()) continue;
        std::string c = TermCondition(connection, columns[static_cast<std::size_t>(term.field)], term, params);
        if (!c.empty()) where += (where.empty() ? "" : " AND ") + c;
    }
    return where;
}

ServerScan::ServerScan(Connection& connection, const std::string& table, const std::vector<ServerColumn>& columns,
                       const std::vector<sql::ScanTerm>& terms)
    : connection_(connection), columns_(columns), values_(columns.size()), loaded_(columns.size(), 0)
{
    static int counter = 0;
    cursor_ = "tarnel_scan_" + std::to_string(++counter);
    std::vector<Text> params;
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::string name = connection.quote(columns[i].field.name);
        if (columns[i].readOnly) name += "::text";
        select += (i ? ", " : "") + name;
    }
    if (columns.empty()) select += "1";
    select += " FROM " + connection.quote(table);
    const std::string where = ServerCondition(connection, columns, terms, params);
    if (!where.empty()) select += " WHERE " + where;

    // A query only reads: its transaction is read-only, so nothing it runs can write.
    if (Pq().PQtransactionStatus(connection.handle()) == PQTRANS_IDLE) {
        connection.exec("BEGIN READ ONLY");
        ownsTransaction_ = true;
    }
    try {
        connection.exec("DECLARE " + cursor_ + " NO SCROLL CURSOR FOR " + select, params);
        fetch();
    } catch (...) {
        if (ownsTransaction_) Pq().PQclear(Pq().PQexec(connection.handle(), "ROLLBACK"));
        ownsTransaction_ = false;
        throw;
    }
}

ServerScan::~ServerScan()
{
    // Nothing was written: ending the transaction either way only lets go of it.
    pg_conn* c = connection_.handle();
    if (ownsTransaction_) Pq().PQclear(Pq().PQexec(c, "ROLLBACK"));
    else Pq().PQclear(Pq().PQexec(c, ("CLOSE " + cursor_).c_str()));
}

void ServerScan::fetch()
{
    block_ = std::make_unique<Result>(connection_.exec("FETCH " + std::to_string(kFetch) + " FROM " + cursor_));
    last_ = block_->rows() < kFetch;
    at_ = -1;
}

bool ServerScan::next()
{
    std::fill(loaded_.begin(), loaded_.end(), 0);
    if (++at_ < block_->rows()) return true;
    if (last_) return false;
    fetch();
    return ++at_ < block_->rows();
}

const Value& ServerScan::value(int field)
{
    const auto k = static_cast<std::size_t>(field);
    if (!loaded_[k]) {
        const ServerColumn& c = columns_[k];
        if (block_->isNull(at_, field)) {
            values_[k] = Value::null();
        } else {
            pg_result* r = block_->get();
            std::string_view text(Pq().PQgetvalue(r, at_, field), static_cast<std::size_t>(Pq().PQgetlength(r, at_, field)));
            // A blank-padded column's blanks are padding, as in table files.
            if (c.serverType.rfind("character(", 0) == 0 || c.serverType == "character")
                while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
            values_[k] = ValueOfServerText(c.field, text);
        }
        loaded_[k] = 1;
    }
    return values_[k];
}

} // namespace tarnel::pg
