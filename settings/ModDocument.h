#pragma once

// What a save asks of each of the mod's four files, whatever its kind: the user's edits as
// a patch of its bytes, a judgement of another program's text with those edits carried
// over, and taking in what was written.

#include "Expected.h"
#include "FileBytes.h"
#include "ModTables.h"
#include "TextLines.h"

#include <memory>

namespace tarsun {

// The values the windows show, which the settings and the scoring files write.
struct ShownValues {
    const SettingValues& settings;
    const ScoreTable& scores;
};

class ModDocument {
public:
    virtual ~ModDocument() = default;

    virtual const FileBytes& file() const = 0;
    // The edits as a patch of the bytes (empty when there are none), or why they cannot
    // be written.
    virtual Expected<TextPatch> edits(const ShownValues& shown) const = 0;
    // `merged` is this file as another program changed it, with the edits carried over: a
    // document of this kind over it, or why an edit does not hold there as the game reads it.
    virtual Expected<std::unique_ptr<ModDocument>> judge(FileBytes merged, const ShownValues& shown) const = 0;
    // The patch of edits() was written: only its lines changed, so the rest is moved, not
    // read again.
    virtual void written(const TextPatch& patch, const FileStamp& stamp, const ShownValues& shown) = 0;
    // A document that judge() made was written: it takes this one's place.
    virtual void replaceBy(ModDocument&& merged, const FileStamp& stamp) = 0;

protected:
    ModDocument() = default;
    ModDocument(const ModDocument&) = default;
    ModDocument(ModDocument&&) = default;
    ModDocument& operator=(const ModDocument&) = default;
    ModDocument& operator=(ModDocument&&) = default;
};

}  // namespace tarsun
