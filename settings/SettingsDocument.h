#pragma once

// A settings file (server settings or AI defaults) as a document: its bytes, the lines of
// each of its settings, and the value each one holds. The values shown are the editor
// state's; the document turns those that differ into a patch of its own bytes.

#include "CodePage.h"
#include "FileBytes.h"
#include "ModDocument.h"
#include "ModTables.h"
#include "TextLines.h"

#include <array>
#include <string>
#include <vector>

namespace tarsun {

// One line of a setting in its file, and where its value stands. An empty value marks
// where one goes on a line that has none.
struct SettingLine {
    LineRef Line;
    LineRef Value;
};

class SettingsDocument final : public ModDocument {
public:
    SettingsDocument(ModFile kind, CodePage codePage) : kind_(kind), codePage_(codePage) {}

    ModFile kind() const { return kind_; }
    bool inThisFile(Setting s) const { return settingInfo(s).file == kind_; }

    // Takes the bytes as what the file holds now and finds its settings' lines in them.
    void adopt(FileBytes file);
    const FileBytes& file() const override { return file_; }

    const std::vector<SettingLine>& lines(Setting s) const { return lines_[slotOf(s)]; }
    // The value the file holds, within the setting's range (the fallback when it holds none).
    int saved(Setting s) const { return saved_[slotOf(s)]; }
    // What the file really holds when the control cannot show it as it stands; "" when it
    // shows it exactly.
    const std::string& note(Setting s) const { return notes_[slotOf(s)]; }

    // Each line of a setting whose shown value differs gets the new value in place of its
    // old one, and everything else on it stays; a setting with no line gets one appended.
    Expected<TextPatch> edits(const ShownValues& shown) const override;
    // Refused where another program set a value the user edited again, or added a line of
    // its own for a setting the edit appends.
    Expected<std::unique_ptr<ModDocument>> judge(FileBytes merged, const ShownValues& shown) const override;
    // The file now holds what is shown.
    void written(const TextPatch& patch, const FileStamp& stamp, const ShownValues& shown) override;
    void replaceBy(ModDocument&& merged, const FileStamp& stamp) override;

private:
    ModFile kind_;
    CodePage codePage_;
    FileBytes file_;
    std::array<std::vector<SettingLine>, SettingCount> lines_;
    SettingValues saved_{};
    std::array<std::string, SettingCount> notes_;
};

}  // namespace tarsun
