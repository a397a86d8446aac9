#pragma once

// The bot-name file as a document: its bytes, where each name stands, and the names the
// user changed. Untouched, it writes back exactly what it read.

#include "CodePage.h"
#include "FileBytes.h"
#include "ModDocument.h"
#include "TextLines.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

enum class NameProblem { None, ControlCharacter, NotEncodable, InvalidText };
// A short, user-facing description ("" for None).
std::string describe(NameProblem problem);

class BotNamesDocument final : public ModDocument {
public:
    explicit BotNamesDocument(CodePage codePage) : codePage_(codePage) {}

    // Takes the bytes as what the file holds now; edits are dropped.
    void adopt(FileBytes file);
    const FileBytes& file() const override { return file_; }

    // One entry per declaring line, in file order. A name is decoded from the file when
    // asked for, unless the user edited it.
    std::size_t count() const { return lines_.size(); }
    LineRef line(std::size_t entry) const { return lines_.at(entry); }
    std::string name(std::size_t entry) const;
    // The name as the file holds it, whatever the user typed since.
    std::string savedName(std::size_t entry) const;
    // Checks a name as the user typed it (UTF-8) before it is accepted.
    NameProblem check(std::string_view name) const;
    // Stores an edited name; refuses (and changes nothing) when check does.
    NameProblem setName(std::size_t entry, std::string name);
    // Drops the entry's edit: it holds what the file holds again.
    void revertName(std::size_t entry) { edited_.erase(entry); }
    // The names that differ from what the file holds, by entry, in file order.
    const std::map<std::size_t, std::string>& edited() const { return edited_; }

    // The edited names as a patch of the bytes; refused when a name cannot be stored in
    // the file's code page.
    Expected<TextPatch> edits(const ShownValues& shown) const override;
    Expected<std::unique_ptr<ModDocument>> judge(FileBytes merged, const ShownValues& shown) const override;
    void written(const TextPatch& patch, const FileStamp& stamp, const ShownValues& shown) override;
    void replaceBy(ModDocument&& merged, const FileStamp& stamp) override;

private:
    CodePage codePage_;
    FileBytes file_;
    std::vector<LineRef> lines_;
    std::map<std::size_t, std::string> edited_;
};

}  // namespace tarsun
