#pragma once
// Finding the companion files of a table (blob file, index, schema) beside
// its data file, without regard to the letter case of their names.
#include <string>

namespace tarnel::fileio {

bool FileExists(const std::string& path);

// Finds a file beside `path` whose name matches `name` without regard to
// letter case; returns the path to use (the exact name when none exists).
std::string SiblingPath(const std::string& path, const std::string& name);

// The path with another extension ("a/b.db", ".mb" -> "a/b.mb"), keeping the
// letter case of an existing file of that name, else following the data
// file's extension (B.DB -> B.MB).
std::string WithExtension(const std::string& path, const std::string& ext);

} // namespace tarnel::fileio
