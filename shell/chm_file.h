#pragma once
// Read-only access to a compiled help file (.chm): its pages and pictures,
// the names of its contents and index files, its default topic and the map
// from context numbers to topics.
#include <map>
#include <optional>
#include <string>
#include <vector>

struct chmFile;

namespace tarnel {

class ChmFile {
public:
    // Opens the file; throws std::runtime_error naming it when it cannot be
    // opened or is no help file.
    explicit ChmFile(const std::string& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    const std::string& path() const { return path_; }

    // The stored object at an absolute path inside the file ("/intro.htm"),
    // or nothing when there is none. Letter case must match.
    std::optional<std::string> Read(const std::string& objectPath) const;
    bool Contains(const std::string& objectPath) const;
    // Every stored object that is a file (not a folder), internal ones included.
    std::vector<std::string> Objects() const;
    // The pages: stored objects ending in .htm or .html, without internal ones.
    std::vector<std::string> Pages() const;

    // From the file's system data; empty when the file does not say.
    const std::string& Title() const { return title_; }
    const std::string& DefaultTopic() const { return defaultTopic_; }   // "/intro.htm"
    const std::string& ContentsFile() const { return contentsFile_; }   // "/tarnel.hhc"
    const std::string& IndexFile() const { return indexFile_; }         // "/tarnel.hhk"

    // Context number to topic path ("/dlg_open.htm"). Topics stored with the
    // absolute path of the folder the file was built in are brought back to
    // their place inside the file.
    const std::map<unsigned, std::string>& ContextMap() const { return contexts_; }
    std::optional<std::string> TopicForContext(unsigned number) const;

    // A path inside the file for a stored name: the name itself when stored,
    // else its shortest stored tail ("/home/x/help/a.htm" -> "/a.htm").
    std::optional<std::string> Locate(const std::string& name) const;

private:
    void ReadSystem();
    void ReadContexts();

    std::string path_;
    chmFile* handle_ = nullptr;
    std::string title_, defaultTopic_, contentsFile_, indexFile_;
    std::map<unsigned, std::string> contexts_;
};

// "name" as an absolute path inside a help file: "/" put in front when missing.
std::string ChmObjectPath(const std::string& name);

} // namespace tarnel
