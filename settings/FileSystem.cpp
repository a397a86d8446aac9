// What both systems' file calls share.

#include "FileSystem.h"

namespace tarsun {

std::optional<NumberedName> splitNumberedName(std::string_view name, std::string_view head) {
    if (name.size() <= head.size() || name.substr(0, head.size()) != head) return std::nullopt;
    std::string_view rest = name.substr(head.size());
    std::size_t digits = 0;
    unsigned long number = 0;
    for (; digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9'; ++digits)
        number = number * 10 + static_cast<unsigned long>(rest[digits] - '0');
    if (digits == 0 || digits >= rest.size() || rest[digits] != '-') return std::nullopt;
    return NumberedName{number, rest.substr(digits + 1)};
}

}  // namespace tarsun
