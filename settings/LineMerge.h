#pragma once

// Carries a patch made for one version of a file over to the version another program has
// made of it since: each edit moves with its lines when the other program left those
// lines as they were, and the whole patch is refused when it changed any of them.

#include "TextLines.h"

#include <optional>
#include <string>
#include <string_view>

namespace tarsun {

// A patch carried over to another version of its file, or why it could not be.
struct Merge {
    std::optional<std::string> text;
    std::string refusal;  // for the user, after "another program changed it since it was loaded, "
};

// The patch applied to `current` instead of `base`; refused when a line that an edit
// touches was changed or removed, or when the two versions differ too widely to match
// their lines up with confidence.
Merge rebasePatch(std::string_view base, std::string_view current, const TextPatch& patch);

}  // namespace tarsun
