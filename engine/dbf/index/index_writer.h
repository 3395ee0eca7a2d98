#pragma once
// Writing index files from sorted key lists: the compact FoxPro forms (.cdx
// compound and .idx single) and the dBASE III .ndx. A tag is laid out fresh:
// full leaves from the left, interior levels above them, no free nodes. The
// headers of the file being replaced (options, expressions, signature) are
// kept byte for byte; only the tree pointers change.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dbf/index/index_file.h"

namespace tarnel {

// The order of keys in a tag: bytes compared unsigned, the little-endian
// doubles they hold (.ndx numbers, .mdx dates), or .mdx decimal numbers.
enum class KeyOrder { Bytes, Double, Decimal };
bool KeyLess(const std::string& a, const std::string& b, KeyOrder order);
inline bool KeyLess(const std::string& a, const std::string& b, bool ndxNumber)
{
    return KeyLess(a, b, ndxNumber ? KeyOrder::Double : KeyOrder::Bytes);
}

// A compact index with the given tags. headers[k] is the 1024-byte header of
// tag k (its expressions included), keys[k] its keys in order, pads[k] the
// byte a shortened key is filled with. directory is the compound file's own
// 1024-byte header, empty for a single-tag .idx; names are the tag names.
std::string BuildCompactIndex(const std::string& directory, const std::vector<std::string>& names,
                              const std::vector<std::string>& headers,
                              const std::vector<std::vector<IndexKey>>& keys, const std::vector<char>& pads);

// A .ndx with the given 512-byte header (key length, entry length and
// expression as stored) and keys in order.
std::string BuildNdxIndex(const std::string& header, const std::vector<IndexKey>& keys);

// An uncompressed .idx with the given 512-byte header (key length and
// expressions as stored) and keys in order.
std::string BuildPlainIdx(const std::string& header, const std::vector<IndexKey>& keys);
std::string PlainIdxHeader(const std::string& expression, const std::string& filter, int keyLength, bool unique);

// A fresh .ndx header for an expression whose keys are keyLength bytes.
std::string NdxHeader(const std::string& expression, int keyLength, bool numeric, bool unique);

// A fresh 1024-byte header of a compact tag (compound: for a .cdx), and of
// a .cdx's tag directory.
std::string CompactTagHeader(const std::string& expression, const std::string& filter, int keyLength, bool compound,
                             bool candidate = false);
std::string CompoundDirectoryHeader();

} // namespace tarnel
