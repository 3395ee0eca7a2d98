#include "engine/sql/dialect.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/dataset.h"

namespace tarnel::sql {

namespace {

enum class Tok { Space, Comment, Single, Double, OtherName, Word, Number, Punct };

struct Token {
    Tok kind;
    std::string_view text;
};

bool WordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool WordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

// The end of a quoted token starting at `pos` (quote char q, doubled to escape);
// the end of the text when it is not closed.
size_t QuotedEnd(std::string_view s, size_t pos, char q)
{
    size_t k = pos + 1;
    while (k < s.size()) {
        if (s[k] == q) {
            if (k + 1 < s.size() && s[k + 1] == q) { k += 2; continue; }
            return k + 1;
        }
        ++k;
    }
    return s.size();
}

std::vector<Token> Tokenize(std::string_view s)
{
    std::vector<Token> out;
    size_t k = 0;
    while (k < s.size()) {
        const size_t start = k;
        const unsigned char c = static_cast<unsigned char>(s[k]);
        Tok kind = Tok::Punct;
        if (std::isspace(c)) {
            while (k < s.size() && std::isspace(static_cast<unsigned char>(s[k]))) ++k;
            kind = Tok::Space;
        } else if (c == '-' && k + 1 < s.size() && s[k + 1] == '-') {
            k = s.find('\n', k);
            k = k == std::string_view::npos ? s.size() : k + 1;
            kind = Tok::Comment;
        } else if (c == '/' && k + 1 < s.size() && s[k + 1] == '*') {
            k = s.find("*/", k + 2);
            k = k == std::string_view::npos ? s.size() : k + 2;
            kind = Tok::Comment;
        } else if (c == '\'') {
            k = QuotedEnd(s, k, '\'');
            kind = Tok::Single;
        } else if (c == '"') {
            k = QuotedEnd(s, k, '"');
            // An unclosed quote goes through as it is, for SQLite to reject.
            kind = s[k - 1] == '"' && k - start >= 2 ? Tok::Double : Tok::Punct;
        } else if (c == '`') {
            k = QuotedEnd(s, k, '`');
            kind = Tok::OtherName;
        } else if (c == '[') {
            k = s.find(']', k);
            k = k == std::string_view::npos ? s.size() : k + 1;
            kind = Tok::OtherName;
        } else if (std::isdigit(c) || (c == '.' && k + 1 < s.size() &&
                                       std::isdigit(static_cast<unsigned char>(s[k + 1])))) {
            while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '.' ||
                                    ((s[k] == '+' || s[k] == '-') && (s[k - 1] == 'e' || s[k - 1] == 'E'))))
                ++k;
            kind = Tok::Number;
        } else if (WordStart(c)) {
            while (k < s.size() && WordChar(static_cast<unsigned char>(s[k]))) ++k;
            kind = Tok::Word;
        } else {
            ++k;
        }
        out.push_back({kind, s.substr(start, k - start)});
    }
    return out;
}

// The contents of a quoted token, with doubled quotes made single.
std::string Unquote(std::string_view token)
{
    if (token.size() < 2) return std::string(token);
    const char q = token.front() == '[' ? ']' : token.front();
    std::string out;
    for (size_t k = 1; k + 1 < token.size(); ++k) {
        out += token[k];
        if (token[k] == q && token[k + 1] == q) ++k;
    }
    return out;
}

std::string AsSqlString(std::string_view doubleQuoted)
{
    std::string out = "'";
    for (char c : Unquote(doubleQuoted)) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

bool IsAny(std::string_view word, std::initializer_list<std::string_view> keywords)
{
    for (auto k : keywords)
        if (SameText(word, k)) return true;
    return false;
}

bool IsComparison(std::string_view op)
{
    for (std::string_view c : {"=", "==", "<>", "!=", "<", ">", "<=", ">="})
        if (op == c) return true;
    return false;
}

// What the scan knows about one level of parentheses.
struct Level {
    bool inFrom = false;       // between FROM and the end of its table list
    bool expectTable = false;  // the next name is a table
};

} // namespace

std::string_view TranslatedSql::writtenTokenAt(size_t offset) const
{
    for (const Piece& p : pieces)
        if (offset >= p.at && offset < p.at + std::max<size_t>(p.length, 1)) return p.written;
    return {};
}

std::string_view TranslatedSql::translatedTokenAt(size_t offset) const
{
    for (const Piece& p : pieces)
        if (offset >= p.at && offset < p.at + std::max<size_t>(p.length, 1))
            return std::string_view(text).substr(p.at, p.length);
    return {};
}

TranslatedSql TranslateDialect(std::string_view localSql, const ConstantConverter& convert)
{
    const std::vector<Token> tokens = Tokenize(localSql);
    std::vector<size_t> sig;   // indexes of the significant tokens
    for (size_t k = 0; k < tokens.size(); ++k)
        if (tokens[k].kind != Tok::Space && tokens[k].kind != Tok::Comment) sig.push_back(k);

    auto isDot = [&](size_t n) {
        return n < sig.size() && tokens[sig[n]].kind == Tok::Punct && tokens[sig[n]].text == ".";
    };

    auto isName = [&](size_t n) {
        const Tok k = tokens[sig[n]].kind;
        return k == Tok::Word || k == Tok::OtherName || k == Tok::Double;
    };
    auto nameText = [&](size_t n) {
        const Token& x = tokens[sig[n]];
        return x.kind == Tok::Word ? std::string(x.text) : Unquote(x.text);
    };
    auto isOperatorChar = [&](size_t n) {
        const Token& x = tokens[sig[n]];
        return x.kind == Tok::Punct && x.text.size() == 1 && std::strchr("=<>!", x.text[0]);
    };
    // An operator binding tighter than a comparison: a neighbour of it makes
    // the field or the constant part of a larger expression.
    auto inExpression = [&](size_t n) {
        if (n >= sig.size()) return false;
        const Token& x = tokens[sig[n]];
        return x.kind == Tok::Punct && x.text.size() == 1 && std::strchr("|+-*/%&~", x.text[0]);
    };
    // The field compared with the constant at significant token n, as
    // qualifier and name. An unqualified double-quoted token is a constant,
    // never the field; a name followed by "(" is a function.
    auto comparedField = [&](size_t n, std::string& qualifier, std::string& field) {
        std::string op;
        size_t m = n;
        while (m > 0 && op.size() < 2 && isOperatorChar(m - 1)) op.insert(0, tokens[sig[--m]].text);
        if (IsComparison(op) && m > 0 && isName(m - 1) && !inExpression(n + 1)) {
            const size_t f = m - 1;
            const bool hasQualifier = f >= 2 && isDot(f - 1) && isName(f - 2);
            const size_t start = hasQualifier ? f - 2 : f;
            if ((hasQualifier || tokens[sig[f]].kind != Tok::Double) && !(start > 0 && inExpression(start - 1))) {
                qualifier = hasQualifier ? nameText(f - 2) : std::string();
                field = nameText(f);
                return true;
            }
        }
        op.clear();
        if (n > 0 && inExpression(n - 1)) return false;
        m = n + 1;
        while (m < sig.size() && op.size() < 2 && isOperatorChar(m)) op += tokens[sig[m++]].text;
        if (!IsComparison(op) || m >= sig.size() || !isName(m)) return false;
        if (isDot(m + 1) && m + 2 < sig.size() && isName(m + 2)) {
            qualifier = nameText(m);
            field = nameText(m + 2);
            return m + 3 >= sig.size() || (tokens[sig[m + 3]].text != "(" && !inExpression(m + 3));
        }
        if (tokens[sig[m]].kind == Tok::Double || inExpression(m + 1)) return false;
        if (m + 1 < sig.size() && tokens[sig[m + 1]].text == "(") return false;
        qualifier.clear();
        field = nameText(m);
        return true;
    };

    TranslatedSql result;
    std::vector<std::string> replaced(tokens.size());
    std::vector<bool> isReplaced(tokens.size(), false);
    std::vector<Level> levels(1);

    for (size_t n = 0; n < sig.size(); ++n) {
        const size_t t = sig[n];
        const Token& tok = tokens[t];
        Level& level = levels.back();
        const bool qualified = (n > 0 && isDot(n - 1)) || isDot(n + 1);

        if (tok.kind == Tok::Punct) {
            if (tok.text == "(") {
                levels.push_back(level);   // a parenthesised join keeps naming tables
            } else if (tok.text == ")") {
                if (levels.size() > 1) levels.pop_back();
                levels.back().expectTable = false;
            } else if (tok.text == ",") {
                if (level.inFrom) level.expectTable = true;
            } else if (tok.text == ";") {
                level = Level{};
            }
            continue;
        }

        if (tok.kind == Tok::Word) {
            if (IsAny(tok.text, {"FROM", "JOIN"})) {
                level.inFrom = level.expectTable = true;
                continue;
            }
            if (IsAny(tok.text, {"WHERE", "GROUP", "ORDER", "HAVING", "LIMIT", "UNION", "EXCEPT",
                                 "INTERSECT", "WINDOW", "ON", "USING", "SELECT", "VALUES"})) {
                level.inFrom = level.expectTable = false;
                continue;
            }
            if (!level.expectTable && !qualified && IsAny(tok.text, {"TRUE", "FALSE"})) {
                replaced[t].assign(1, SameText(tok.text, "TRUE") ? '1' : '0');
                isReplaced[t] = true;
                continue;
            }
        }

        const bool isName = tok.kind == Tok::Word || tok.kind == Tok::Double || tok.kind == Tok::OtherName;
        if (isName && level.expectTable) {
            // schema.table: the table is the part after the dot.
            if (!isDot(n + 1)) {
                result.tables.push_back(tok.kind == Tok::Word ? std::string(tok.text) : Unquote(tok.text));
                level.expectTable = false;
            }
            continue;
        }

        if (tok.kind == Tok::Double && !level.inFrom && !qualified) {
            std::string qualifier, field;
            std::optional<std::string> typed;
            if (convert && comparedField(n, qualifier, field)) typed = convert(qualifier, field, Unquote(tok.text));
            replaced[t] = typed ? std::move(*typed) : AsSqlString(tok.text);
            isReplaced[t] = true;
        }
    }

    result.text.reserve(localSql.size() + 16);
    result.pieces.reserve(tokens.size());
    for (size_t k = 0; k < tokens.size(); ++k) {
        const std::string_view piece = isReplaced[k] ? std::string_view(replaced[k]) : tokens[k].text;
        result.pieces.push_back({result.text.size(), tokens[k].text, piece.size()});
        result.text += piece;
    }
    return result;
}

} // namespace tarnel::sql
