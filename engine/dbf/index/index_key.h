#pragma once
// Key expressions of index tags, and the key bytes they give for a record.
// What can be evaluated: field names, UPPER() and LOWER() of character
// fields, DTOS() of dates, STR(field, len, dec) of numbers, and terms joined
// with +. A filter is understood when it is empty or DELETED() negated.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/dbf/dbf_header.h"

namespace tarnel {

enum class KeyStyle { FoxPro, Ndx, Mdx };

class KeyExpression {
public:
    // Null when the expression uses anything outside what is listed above.
    static std::optional<KeyExpression> compile(const std::string& expression, const DbfHeader& header, KeyStyle style);

    // The key for a record (its bytes including the deletion mark).
    std::string evaluate(const char* record) const;
    // C for character keys (padded with blanks), B for FoxPro and .ndx
    // binary ones; a .mdx's number and date keys are N and D.
    char type() const { return type_; }
    // The fields of an expression that names fields alone (joined with +),
    // in its order; empty when a function is applied to any of them.
    std::vector<const DbfField*> plainFields() const;

private:
    enum class Op { Field, Upper, Lower, Dtos, Str };
    struct Term {
        Op op = Op::Field;
        const DbfField* field = nullptr;
        int length = 10, decimals = 0;
    };
    std::string binary(const char* record, const DbfField& f) const;

    std::vector<Term> terms_;
    KeyStyle style_ = KeyStyle::FoxPro;
    char type_ = 'C';
};

// FoxPro's order-preserving number and integer keys: big-endian, so that
// their bytes compare as the values do.
std::string FoxNumberKey(double v);
std::string FoxIntegerKey(std::int32_t v);

// A .mdx number key from a number field's decimal text: 12 bytes of
// exponent (0x34 plus the digits before the point), digit count and sign,
// then up to 20 digits, two to a byte. Blank or unreadable text is zero.
std::string MdxNumberKey(const char* text, size_t length);
// The order of two .mdx number keys: negative, zero or positive.
int CompareMdxNumbers(const std::string& a, const std::string& b);

// Whether a tag's filter keeps a record out: "" keeps everything;
// "!DELETED()" (in any spelling of negation) keeps live records. Null when
// the filter is something else.
std::optional<bool> FilterExcludes(const std::string& filter, bool deleted);

} // namespace tarnel
