#pragma once
// Writing the multiple-tag .mdx of dBASE IV. A file is laid out anew: the
// file header and tag table first (four 512-byte pages), then each tag's
// header block followed by its tree, full leaves from the left and interior
// levels above them, no free blocks. The header fields other programs rely
// on (block size, production flag, dates, the table's name) and each tag's
// entry and header are kept as read; only page numbers and counts change.
//
// A node block holds a key count, four unused bytes, then entries of a
// pointer (a record number in a leaf, a child's page in an interior node)
// and the key, each entry rounded up to four bytes. An interior node has one
// child more than keys, key k being the last key under child k; a leaf's
// pointer after its last key is zero.
#include <string>
#include <vector>

#include "engine/dbf/index/index_file.h"

namespace tarnel {

struct MdxTagLayout {
    std::string entry;    // the tag's 32 bytes in the tag table
    std::string header;   // its 512-byte tag header
    std::vector<IndexKey> keys;   // in the order they are stored
};

// Tag number tag of the .mdx whose bytes are given (already opened as one),
// without its keys. Throws EngineError when the file does not hold it.
MdxTagLayout MdxTagParts(const std::string& bytes, size_t tag);

// A whole .mdx from the first 544 bytes of the file it replaces and its tags.
std::string BuildMdxIndex(const std::string& fileHeader, const std::vector<MdxTagLayout>& tags);

// A tag header for keys of another length (a field made wider or narrower):
// the entry length and keys per node follow.
void SetMdxKeyLength(std::string& header, int keyLength, unsigned blockSize);

// A fresh file header for the production index of the table whose name
// (without extension) is stem, and a fresh tag (keyType C, N or D).
std::string MdxFileHeader(const std::string& stem, unsigned blockSize);
MdxTagLayout NewMdxTag(const std::string& name, const std::string& expression, const std::string& filter, char keyType,
                       int keyLength, bool unique, bool descending, unsigned blockSize);

// Links the tag table's entries anew into the tree of tag names it keeps
// (after tags were dropped from it).
void ThreadMdxTags(std::vector<MdxTagLayout>& tags);

} // namespace tarnel
