#pragma once
// The link to the cave viewer: one conversation per send, opened, poked once
// with the whole command stream, and closed.
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnel::query {

inline constexpr const char* kViewerService = "Oculo32";
inline constexpr const char* kViewerTopic = "ViewerTopic";
inline constexpr const char* kViewerItem = "ViewerItem";

// A stream the link cannot carry; nothing of it has been sent.
class TViewerLinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TViewerLink {
public:
    virtual ~TViewerLink();
    // Connects to the viewer, starting it when it is not there.
    virtual bool openLink(const std::string& service, const std::string& topic) = 0;
    // Sends the lines as one block; does not wait for the viewer. Throws
    // TViewerLinkError when the block is larger than the link can carry.
    virtual bool poke(const std::string& item, const std::vector<std::string>& lines) = 0;
    virtual void closeLink() = 0;
};

// The bytes of one poke: every line followed by CR LF, then one zero byte.
std::string ViewerPokeData(const std::vector<std::string>& lines);

} // namespace tarnel::query
