// The link interface's shared part.
#include "query/core/viewer_link.h"

namespace tarnel::query {

TViewerLink::~TViewerLink() = default;

std::string ViewerPokeData(const std::vector<std::string>& lines)
{
    size_t size = 1;
    for (const auto& line : lines) size += line.size() + 2;
    std::string data;
    data.reserve(size);
    for (const auto& line : lines) {
        data += line;
        data += "\r\n";
    }
    data += '\0';
    return data;
}

} // namespace tarnel::query
