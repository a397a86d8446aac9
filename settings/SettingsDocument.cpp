#include "SettingsDocument.h"

#include <algorithm>

namespace tarsun {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A setting line is its command followed by a blank, a tab or the line's end.
bool isSettingLine(std::string_view line, std::string_view command) {
    // The character after the command first: it rules out nearly every other line without
    // comparing text.
    return line.size() >= command.size() && (line.size() == command.size() || isBlank(line[command.size()])) &&
           line.substr(0, command.size()) == command;
}

// A setting's value is the first word after its command; what follows it stays.
LineRef settingValue(std::string_view text, LineRef ref, std::string_view command) {
    std::string_view line = ref.in(text);
    std::size_t begin = command.size();
    while (begin < line.size() && isBlank(line[begin])) ++begin;
    std::size_t end = begin;
    while (end < line.size() && !isBlank(line[end])) ++end;
    return {ref.begin + begin, end - begin};
}

// The value shown for what the lines hold, and a note when it is not exactly that.
int readValue(const SettingInfo& info, std::string_view text, const std::vector<SettingLine>& lines,
              const CodePage& codePage, std::string& note) {
    const int fallback = info.fallback;
    if (lines.empty()) {
        note = "The file has no line for this setting; " + std::to_string(fallback) +
               " is shown, and a line is added only if you change it.";
        return fallback;
    }
    // The game runs every line; the last one's value is the one that holds.
    std::string_view token = lines.back().Value.in(text);
    const std::string shownText = '"' + codePage.decode(token) + '"';
    ParsedNumber number = parseNumber(token, info.percentOfOne ? 2 : 0);
    if (token.empty() || !number.found || number.start != 0 || number.end != token.size()) {
        note = (token.empty() ? std::string("The file gives no value here")
                              : "The file holds " + shownText + ", which is not a number") +
               "; " + std::to_string(fallback) + " is shown.";
        return fallback;
    }
    std::int64_t rounded = roundToInteger(number.value);
    const int value = static_cast<int>(std::clamp<std::int64_t>(rounded, info.minimum, info.maximum));
    if (value != rounded) {
        note = "The file holds " + shownText + "; the nearest value shown here is " + std::to_string(value) + ".";
    } else if (static_cast<double>(rounded) != number.value) {
        note = "The file holds " + shownText + ", shown rounded to " + std::to_string(value) + ".";
    }
    return value;
}

}  // namespace

void SettingsDocument::adopt(FileBytes file) {
    std::string_view text = file.Text;
    for (auto& lines : lines_) lines.clear();
    forEachLine(text, [&](LineRef ref, std::size_t) {
        std::string_view line = ref.in(text);
        for (Setting s : AllSettings) {
            const SettingInfo& info = settingInfo(s);
            if (!inThisFile(s) || !isSettingLine(line, info.command)) continue;
            lines_[slotOf(s)].push_back({ref, settingValue(text, ref, info.command)});
            break;
        }
    });
    for (Setting s : AllSettings) {
        if (!inThisFile(s)) continue;
        notes_[slotOf(s)].clear();
        saved_[slotOf(s)] = readValue(settingInfo(s), text, lines_[slotOf(s)], codePage_, notes_[slotOf(s)]);
    }
    file_ = std::move(file);
}

Expected<TextPatch> SettingsDocument::edits(const ShownValues& values) const {
    const SettingValues& shown = values.settings;
    std::vector<TextPatch::Edit> edits;
    std::string appended;
    const std::string_view text = file_.Text;
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        if (!inThisFile(s) || shown[slotOf(s)] == saved(s)) continue;
        const std::string value = settingValueText(s, shown[slotOf(s)]);
        if (lines(s).empty()) appended += std::string(info.command) + " " + value + "\r\n";
        for (const SettingLine& line : lines(s)) {
            // A line with no value gets one, a blank after the command when there is none.
            const bool bare = line.Value.length == 0 && line.Value.begin == line.Line.begin + info.command.size() &&
                              (line.Value.begin >= text.size() || text[line.Value.begin] != ' ');
            edits.push_back({line.Value, bare ? " " + value : value});
        }
    }
    return TextPatch(std::move(edits), std::move(appended));
}

Expected<std::unique_ptr<ModDocument>> SettingsDocument::judge(FileBytes bytes, const ShownValues& values) const {
    auto merged = std::make_unique<SettingsDocument>(kind_, codePage_);
    merged->adopt(std::move(bytes));
    for (Setting s : AllSettings) {
        if (!inThisFile(s) || values.settings[slotOf(s)] == saved(s)) continue;
        // Another program's own line for a setting the edit gave one too: both would stand.
        if (lines(s).empty() && merged->lines(s).size() > 1)
            return Failure{"and added a line of its own for a setting you edited"};
        if (merged->saved(s) != values.settings[slotOf(s)]) return Failure{"and set a value you edited again"};
    }
    return merged;
}

void SettingsDocument::replaceBy(ModDocument&& merged, const FileStamp& stamp) {
    *this = std::move(dynamic_cast<SettingsDocument&>(merged));
    file_.Stamp = stamp;
}

void SettingsDocument::written(const TextPatch& patch, const FileStamp& stamp, const ShownValues& values) {
    const SettingValues& shown = values.settings;
    patch.applyInPlace(file_.Text);
    file_.Stamp = stamp;
    // New lines to find: rare enough to read the file again. It gives the values just
    // written, without notes.
    if (patch.appends()) return adopt(std::move(file_));
    for (Setting s : AllSettings) {
        if (!inThisFile(s)) continue;
        for (SettingLine& line : lines_[slotOf(s)]) {
            line.Line = patch.moved(line.Line);
            line.Value = settingValue(file_.Text, line.Line, settingInfo(s).command);
        }
        // Each setting that differed was written, so the file now holds what is shown.
        if (saved_[slotOf(s)] != shown[slotOf(s)]) notes_[slotOf(s)].clear();
        saved_[slotOf(s)] = shown[slotOf(s)];
    }
}

}  // namespace tarsun
