#pragma once

// The scoring module as a document: its bytes, where each of the 68 constants is bound
// last and how, and which of them the user set. Python runs this file, so a constant is
// edited only where a new value changes nothing else Python reads.

#include "CodePage.h"
#include "FileBytes.h"
#include "ModDocument.h"
#include "ModTables.h"
#include "TextLines.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarsun {

struct ScoreEntry {
    std::size_t Index = 0;         // which of the 68 constants this entry stands for
    LineRef Line;                  // its last binding's lines in the file, the last line end excluded
    LineRef Value;                 // the value's whole text, without a comment or ';'
    std::int64_t SavedValue = 0;   // the value shown for what the file held when last read or written
    bool Literal = false;          // the file's value is one number literal, and SavedValue is exactly it
    bool Editable = true;          // a new value replaces Value and changes nothing else Python reads
    std::string NotEditableReason; // why not ("" when Editable)
    bool Edited = false;           // the user set a value, to be written on the next save
    std::string Text;              // the list entry: the line as the file holds it or will hold it
};

// What the windows say of a constant they leave alone: "Not editable here: <why>."
std::string notEditableNote(const ScoreEntry& entry);

class ScoringDocument final : public ModDocument {
public:
    explicit ScoringDocument(CodePage codePage) : codePage_(codePage) {}

    // Takes the bytes as what the file holds now and finds the constants in them; edits
    // are dropped.
    void adopt(FileBytes file);
    const FileBytes& file() const override { return file_; }
    // The header, up to and including its "from qmr import" statement (nothing when the
    // file has none).
    std::string_view TextScoreA() const { return std::string_view(file_.Text).substr(0, headerEnd_); }

    // Why the game's Python 2 cannot run the file, with the line; "" when it can.
    const std::string& cannotRun() const { return cannotRun_; }
    // The constants the file binds, in table order.
    const std::vector<ScoreEntry>& entries() const { return entries_; }
    // The entry of the constant at this table index; none when the file does not bind it.
    const ScoreEntry* entryOf(std::size_t table) const;
    // The value's text as the file holds it.
    std::string_view valueText(const ScoreEntry& entry) const { return entry.Value.in(file_.Text); }
    // Sets an entry to a value, and its list text; an entry that is not Editable stays,
    // and false says so.
    bool edit(std::size_t entry, std::int64_t value);
    // Drops the entry's edit: it shows and writes what the file holds again.
    void revert(std::size_t entry);

    // The edited values as a patch of the bytes; the shown scores hold them by table index.
    Expected<TextPatch> edits(const ShownValues& shown) const override;
    // Refused where, as Python reads the merged file, an edited constant is no longer
    // bound to a plain literal of the value shown.
    Expected<std::unique_ptr<ModDocument>> judge(FileBytes merged, const ShownValues& shown) const override;
    // The patch (of edits(): new values only) was written; the document now holds it.
    void written(const TextPatch& patch, const FileStamp& stamp, const ShownValues& shown) override;
    void replaceBy(ModDocument&& merged, const FileStamp& stamp) override;

private:
    std::string listText(const ScoreEntry& entry, std::int64_t value) const;
    // Fills the entry's value, literal flag and list text from the bytes its spans point into.
    void readValue(ScoreEntry& entry, std::string_view bytes) const;

    CodePage codePage_;
    FileBytes file_;
    std::size_t headerEnd_ = 0;
    std::string cannotRun_;
    std::vector<ScoreEntry> entries_;
};

}  // namespace tarsun
