#include "ScoringDocument.h"

#include "PythonNumber.h"
#include "PythonText.h"

#include <algorithm>
#include <set>

namespace tarsun {

namespace {

// A statement that runs over several lines shows as one list line.
std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
    }
    return out;
}

// Where two entries' lines hold one another's values in part, only a new reading places them.
bool straddles(const std::vector<ScoreEntry>& entries, const TextPatch& patch) {
    for (const TextPatch::Edit& edit : patch.edits())
        for (const ScoreEntry& e : entries) {
            const bool inside = edit.span.begin >= e.Line.begin && edit.span.end() <= e.Line.end();
            const bool apart = edit.span.end() <= e.Line.begin || edit.span.begin >= e.Line.end();
            if (!inside && !apart) return true;
        }
    return false;
}

}  // namespace

void ScoringDocument::readValue(ScoreEntry& entry, std::string_view bytes) const {
    std::string_view valueText = entry.Value.in(bytes);
    if (auto number = readPythonNumber(valueText)) {
        entry.SavedValue = number->rounded();
        entry.Literal = number->exact();
    } else {
        // Not one literal (2 * 3, a name): its leading number, and the list shows the text.
        ParsedNumber leading = parseNumber(valueText);
        entry.Literal = false;
        entry.SavedValue = leading.found ? roundToInteger(leading.value) : 0;
    }
    entry.Text = codePage_.decode(oneLine(entry.Line.in(bytes)));
}

std::string notEditableNote(const ScoreEntry& entry) {
    return "Not editable here: " + entry.NotEditableReason + ".";
}

void ScoringDocument::adopt(FileBytes file) {
    std::string_view bytes = file.Text;
    // Without the header statement the whole module holds the constants.
    std::set<std::string_view> constants;
    for (std::size_t table = 0; table < ScoreCount; ++table) constants.insert(scoreName(table));
    const PythonModule module = readPythonModule(bytes, ScoringHeaderModule,
                                                 [&](std::string_view name) { return constants.count(name) > 0; });
    const std::size_t headerEnd = module.headerEnd == std::string_view::npos ? 0 : module.headerEnd;
    std::vector<ScoreEntry> entries;
    for (std::size_t table = 0; table < ScoreCount; ++table) {
        auto found = module.names.find(scoreName(table));
        if (found == module.names.end()) continue;
        const PythonBinding& b = found->second;
        // The list shows the binding's whole lines, from the line's start unless the
        // header's statement stands before it there.
        std::size_t lineBegin = bytes.find_last_of("\r\n", b.statementBegin == 0 ? 0 : b.statementBegin - 1);
        lineBegin = lineBegin == std::string_view::npos || b.statementBegin == 0 ? 0 : lineBegin + 1;
        if (lineBegin < headerEnd) lineBegin = b.statementBegin;
        const std::size_t lineEnd = std::min(bytes.find_first_of("\r\n", b.statementEnd), bytes.size());
        ScoreEntry entry;
        entry.Index = table;
        entry.Line = {lineBegin, lineEnd - lineBegin};
        entry.Value = {b.valueBegin, b.valueEnd - b.valueBegin};
        entry.Editable = b.notEditable.empty();
        entry.NotEditableReason = b.notEditable;
        readValue(entry, bytes);
        entries.push_back(std::move(entry));
    }
    entries_ = std::move(entries);
    headerEnd_ = headerEnd;
    cannotRun_ = module.cannotRun;
    file_ = std::move(file);
}

const ScoreEntry* ScoringDocument::entryOf(std::size_t table) const {
    // The entries stand in table order.
    auto it = std::lower_bound(entries_.begin(), entries_.end(), table,
                               [](const ScoreEntry& e, std::size_t t) { return e.Index < t; });
    return it != entries_.end() && it->Index == table ? &*it : nullptr;
}

bool ScoringDocument::edit(std::size_t entry, std::int64_t value) {
    ScoreEntry& e = entries_.at(entry);
    if (!e.Editable) return false;
    // A value the file holds as an expression or a fraction is written even when the
    // number it shows is chosen: the user asked for that number, not for what it holds.
    e.Edited = value != e.SavedValue || !e.Literal;
    e.Text = listText(e, value);
    return true;
}

void ScoringDocument::revert(std::size_t entry) {
    ScoreEntry& e = entries_.at(entry);
    e.Edited = false;
    e.Text = listText(e, e.SavedValue);
}

std::string ScoringDocument::listText(const ScoreEntry& entry, std::int64_t value) const {
    std::string line(entry.Line.in(file_.Text));
    if (entry.Edited) line.replace(entry.Value.begin - entry.Line.begin, entry.Value.length, std::to_string(value));
    return codePage_.decode(oneLine(line));
}

Expected<TextPatch> ScoringDocument::edits(const ShownValues& shown) const {
    const ScoreTable& values = shown.scores;
    std::vector<TextPatch::Edit> edits;
    for (const ScoreEntry& e : entries_)
        if (e.Edited) edits.push_back({e.Value, std::to_string(values[e.Index])});
    return TextPatch(std::move(edits));
}

Expected<std::unique_ptr<ModDocument>> ScoringDocument::judge(FileBytes bytes, const ShownValues& shown) const {
    auto merged = std::make_unique<ScoringDocument>(codePage_);
    merged->adopt(std::move(bytes));
    for (const ScoreEntry& e : entries_) {
        if (!e.Edited) continue;
        const ScoreEntry* now = merged->entryOf(e.Index);
        if (!now || !now->Literal || now->SavedValue != shown.scores[e.Index])
            return Failure{"and set a value you edited again"};
    }
    return merged;
}

void ScoringDocument::replaceBy(ModDocument&& merged, const FileStamp& stamp) {
    *this = std::move(dynamic_cast<ScoringDocument&>(merged));
    file_.Stamp = stamp;
}

void ScoringDocument::written(const TextPatch& patch, const FileStamp& stamp, const ShownValues&) {
    const bool readAgain = patch.appends() || straddles(entries_, patch);
    patch.applyInPlace(file_.Text);
    file_.Stamp = stamp;
    if (readAgain) return adopt(std::move(file_));
    // An edit replaced one editable value and changed nothing else Python reads: the
    // constants stand where they stood, moved by the edits before them. A large module is
    // not parsed again for it.
    headerEnd_ = patch.moved({0, headerEnd_}).length;
    for (ScoreEntry& e : entries_) {
        e.Line = patch.moved(e.Line);
        e.Value = patch.moved(e.Value);
        e.Edited = false;
        readValue(e, file_.Text);
    }
}

}  // namespace tarsun
