#include "EditorState.h"

#include "PythonText.h"

#include <algorithm>

namespace tarsun {

namespace {

constexpr std::array<std::string_view, ScoreCount> scoreNameTable{
    "SCORE_KILL", "SCORE_TEAMKILL", "SCORE_SUICIDE", "SCORE_REVIVE", "SCORE_HEAL", "SCORE_RESUPPLY",
    "SCORE_REPAIR", "SCORE_STRATEGIC", "SCORE_STRATEGICREPAIR", "SCORE_EMP", "SCORE_DAMAGETITAN",
    "SCORE_DESTROYTITANWEAPON", "SCORE_REPAIRTITANWEAPON", "SCORE_DESTROYTITANPART",
    "SCORE_REPAIRTITANPART", "SCORE_DESTROYTITANCORE", "SCORE_REPAIRTITANCORE",
    "SCORE_DESTROYGROUNDCANNON", "SCORE_REPAIRGROUNDCANNON", "SCORE_DESTROYMISSILE", "SCORE_TEAMDAMAGE",
    "SCORE_TEAMVEHICLEDAMAGE", "SCORE_DESTROYREMOTECONTROLLED", "SCORE_DESTROYVEHICLESHIELD",
    "SCORE_DESTROYIFVVEHICLE", "SCORE_DROP", "SCORE_TITANATTACKBONUS", "SCORE_TITANDEFENDBONUS",
    "SCORE_MAX_SQUADORDER", "SCORE_SO_REVIVE", "SCORE_SO_HEAL", "SCORE_SO_REPAIR", "SCORE_SO_REAMMO",
    "SCORE_SO_KILL", "SCORE_SO_PICKUP", "SCORE_SO_DROP", "SCORE_SM_REVIVE", "SCORE_SM_HEAL",
    "SCORE_SM_REPAIR", "SCORE_SM_REAMMO", "SCORE_SM_DROP", "SCORE_SM_KILLASSIST_DRIVER",
    "SCORE_SM_KILLASSIST_PASSENGER", "SCORE_SM_KILLASSIST_TARGETER", "SCORE_SM_KILLASSIST_DAMAGE",
    "SCORE_KILLASSIST_DRIVER", "SCORE_KILLASSIST_PASSENGER", "SCORE_KILLASSIST_TARGETER",
    "SCORE_KILLASSIST_DAMAGE", "TITAN_BONUSSCOREDIST", "TITAN_HORISONTAL_DROPDIST",
    "TITAN_VERTICAL_DROPDIST", "TITAN_HORISONTAL_SPAWNDIST", "TITAN_VERTICAL_SPAWNDIST",
    "TITAN_ENTER_DISTANCE", "REPAIR_POINT_LIMIT", "HEAL_POINT_LIMIT", "GIVEAMMO_POINT_LIMIT",
    "TEAMDAMAGE_POINT_LIMIT", "TEAMVEHICLEDAMAGE_POINT_LIMIT", "REPLENISH_POINT_MIN_INTERVAL",
    "SQUADLEADER_BONUS_MOD", "COMMANDER_BONUS_MOD", "AWAY_BONUS_MOD", "TITAN_WEAPONS_DESTROY_LIMIT",
    "TITAN_WEAPONS_REPAIR_LIMIT", "TITAN_WEAPONS_TIME_LIMIT", "MAX_EMP_TIME"};

constexpr std::array<SettingInfo, SettingCount> settingTable{{
    {"sv.soldierFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"sv.vehicleFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"sv.soldierSplashFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"sv.vehicleSplashFriendlyFire", ModFile::ServerSettings, 0, 100, 100, false},
    {"aiSettings.setMaxNBots", ModFile::AIDefaults, 1, 256, 16, false},
    {"aiSettings.setBotSkill", ModFile::AIDefaults, 0, 100, 50, true},
}};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A setting line is its command followed by a blank, a tab or the line's end.
bool isSettingLine(std::string_view line, std::string_view command) {
    // The character after the command first: it rules out nearly every other line without
    // comparing text.
    return line.size() >= command.size() && (line.size() == command.size() || isBlank(line[command.size()])) &&
           line.substr(0, command.size()) == command;
}

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

// A setting's value is the first word after its command; what follows it stays.
LineRef settingValue(std::string_view text, LineRef ref, std::string_view command) {
    std::string_view line = ref.in(text);
    std::size_t begin = command.size();
    while (begin < line.size() && isBlank(line[begin])) ++begin;
    std::size_t end = begin;
    while (end < line.size() && !isBlank(line[end])) ++end;
    return {ref.begin + begin, end - begin};
}

bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

}  // namespace

std::vector<std::string_view> modFileComponents(ModFile file) {
    switch (file) {
    case ModFile::BotNames: return {"AI", "BotNames.AI"};
    case ModFile::ServerSettings: return {"Settings", "ServerSettings.CON"};
    case ModFile::AIDefaults: return {"AI", "AIDefault.AI"};
    case ModFile::Scoring: return {"python", "game", "scoringCommon.py"};
    }
    return {};
}

std::string modFileDisplayName(ModFile file) {
    std::string name;
    for (auto part : modFileComponents(file)) {
        if (!name.empty()) name += '/';
        name += part;
    }
    return name;
}

const SettingInfo& settingInfo(Setting setting) { return settingTable[static_cast<std::size_t>(setting)]; }

std::string settingValueText(Setting setting, int value) {
    if (!settingInfo(setting).percentOfOne) return std::to_string(value);
    // value / 100 as a plain decimal: 50 -> 0.5, 7 -> 0.07, 100 -> 1, 0 -> 0.
    std::string text = std::to_string(value / 100);
    int hundredths = value % 100;
    if (hundredths != 0) {
        text += '.';
        text += static_cast<char>('0' + hundredths / 10);
        if (hundredths % 10 != 0) text += static_cast<char>('0' + hundredths % 10);
    }
    return text;
}

std::string describe(NameProblem problem) {
    switch (problem) {
    case NameProblem::None: return {};
    case NameProblem::ControlCharacter:
        return "A bot name cannot hold a line break, a tab or another control character.";
    case NameProblem::NotEncodable:
        return "The bot name holds a character that the mod's files cannot store.";
    case NameProblem::InvalidText: return "The bot name is not valid text.";
    }
    return {};
}

EditorState::EditorState() : EditorState(CodePage::system()) {}

EditorState::EditorState(CodePage codePage) : codePage_(codePage) {}

void EditorState::InitScoreNames() {
    for (std::size_t i = 0; i < ScoreCount; ++i) ScoreNames[i] = std::string(scoreNameTable[i]);
}

int EditorState::setSetting(Setting s, int value) {
    const SettingInfo& info = settingInfo(s);
    shown_[index(s)] = std::clamp(value, info.minimum, info.maximum);
    return shown_[index(s)];
}

NameProblem EditorState::checkBotName(std::string_view name) const {
    // Control characters first: a line break is reported as such, not as a code-page gap.
    for (std::size_t i = 0; i < name.size();) {
        char32_t c;
        if (!readUtf8(name, i, c)) return NameProblem::InvalidText;
        if (isControl(c)) return NameProblem::ControlCharacter;
    }
    if (!codePage_.encode(name)) return NameProblem::NotEncodable;
    return NameProblem::None;
}

std::string EditorState::botName(std::size_t entry) const {
    if (auto it = editedBots_.find(entry); it != editedBots_.end()) return it->second;
    return codePage_.decode(botLines_.at(entry).in(BotFile.Text).substr(BotNamePrefix.size()));
}

NameProblem EditorState::setBotName(std::size_t entry, std::string name) {
    NameProblem problem = checkBotName(name);
    if (problem != NameProblem::None) return problem;
    const LineRef line = botLines_.at(entry);
    if (name == codePage_.decode(line.in(BotFile.Text).substr(BotNamePrefix.size()))) {
        editedBots_.erase(entry);
    } else {
        editedBots_[entry] = std::move(name);
    }
    return problem;
}

std::string notEditableNote(const ScoreEntry& entry) { return "Not editable here: " + entry.NotEditableReason + "."; }

void EditorState::setScoreValue(std::size_t entry, std::int64_t value) {
    ScoreEntry& e = ListScores.at(entry);
    if (!e.Editable) return;
    ScoreValues[e.Index] = value;
    // A value the file holds as an expression or a fraction is written even when the
    // number it shows is chosen: the user asked for that number, not for what it holds.
    e.Edited = value != e.SavedValue || !e.Literal;
    e.Text = scoreListText(e);
}

std::string EditorState::scoreListText(const ScoreEntry& entry) const {
    std::string line(entry.Line.in(TextScoreB.Text));
    if (entry.Edited) {
        line.replace(entry.Value.begin - entry.Line.begin, entry.Value.length,
                     std::to_string(ScoreValues[entry.Index]));
    }
    return codePage_.decode(oneLine(line));
}

void EditorState::adoptSettingsFile(ModFile file, ModDocument doc) {
    std::string_view text = doc.Text;
    for (Setting s : AllSettings) {
        if (settingInfo(s).file == file) SettingLines[index(s)].clear();
    }
    forEachLine(text, [&](LineRef ref, std::size_t) {
        std::string_view line = ref.in(text);
        for (Setting s : AllSettings) {
            const SettingInfo& info = settingInfo(s);
            if (info.file != file || !isSettingLine(line, info.command)) continue;
            SettingLines[index(s)].push_back({ref, settingValue(text, ref, info.command)});
            break;
        }
    });
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        if (info.file != file) continue;
        const auto& lines = SettingLines[index(s)];
        int value = info.fallback;
        std::string& note = notes_[index(s)];
        note.clear();
        if (lines.empty()) {
            note = "The file has no line for this setting; " + std::to_string(value) +
                   " is shown, and a line is added only if you change it.";
        } else {
            // The game runs every line; the last one's value is the one that holds.
            std::string_view token = lines.back().Value.in(text);
            std::string shownText = codePage_.decode(token);
            shownText.insert(shownText.begin(), '"');
            shownText.push_back('"');
            ParsedNumber number = parseNumber(token, info.percentOfOne ? 2 : 0);
            if (token.empty() || !number.found || number.start != 0 || number.end != token.size()) {
                note = (token.empty() ? std::string("The file gives no value here")
                                      : "The file holds " + shownText + ", which is not a number") +
                       "; " + std::to_string(value) + " is shown.";
            } else {
                std::int64_t rounded = roundToInteger(number.value);
                value = static_cast<int>(std::clamp<std::int64_t>(rounded, info.minimum, info.maximum));
                if (value != rounded) {
                    note = "The file holds " + shownText + "; the nearest value shown here is " +
                           std::to_string(value) + ".";
                } else if (static_cast<double>(rounded) != number.value) {
                    note = "The file holds " + shownText + ", shown rounded to " + std::to_string(value) + ".";
                }
            }
        }
        shown_[index(s)] = saved_[index(s)] = value;
    }
    (file == ModFile::ServerSettings ? TextFF : TextAI) = std::move(doc);
}

void EditorState::settingsFileTaken(ModFile file, EditorState&& read, const FileStamp& stamp) {
    for (Setting s : AllSettings) {
        if (settingInfo(s).file != file) continue;
        SettingLines[index(s)] = std::move(read.SettingLines[index(s)]);
        notes_[index(s)] = std::move(read.notes_[index(s)]);
        shown_[index(s)] = saved_[index(s)] = read.saved_[index(s)];
    }
    const bool server = file == ModFile::ServerSettings;
    (server ? TextFF : TextAI).Text = std::move((server ? read.TextFF : read.TextAI).Text);
    (server ? TextFF : TextAI).Stamp = stamp;
}

void EditorState::adoptServerSettings(ModDocument doc) { adoptSettingsFile(ModFile::ServerSettings, std::move(doc)); }

void EditorState::adoptAIDefaults(ModDocument doc) { adoptSettingsFile(ModFile::AIDefaults, std::move(doc)); }

void EditorState::adoptScoring(ModDocument doc) {
    std::string_view bytes = doc.Text;
    // Without the header statement the whole file is header.
    const PythonModule module = readPythonModule(bytes, ScoringHeaderModule);
    const std::size_t headerEnd = std::min(module.headerEnd, bytes.size());
    std::vector<ScoreEntry> entries;
    for (std::size_t table = 0; table < ScoreCount; ++table) {
        auto found = module.names.find(scoreNameTable[table]);
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
        entry.Line = {lineBegin - headerEnd, lineEnd - lineBegin};
        entry.Value = {b.valueBegin - headerEnd, b.valueEnd - b.valueBegin};
        entry.Editable = b.notEditable.empty();
        entry.NotEditableReason = b.notEditable;
        std::string_view valueText = bytes.substr(b.valueBegin, b.valueEnd - b.valueBegin);
        if (auto number = readPythonNumber(valueText)) {
            entry.SavedValue = number->rounded();
            entry.Literal = number->exact();
        } else {
            // Not one literal (2 * 3, a name): its leading number, and the list shows the text.
            ParsedNumber leading = parseNumber(valueText);
            entry.SavedValue = leading.found ? roundToInteger(leading.value) : 0;
        }
        ScoreValues[table] = entry.SavedValue;
        entry.Text = codePage_.decode(oneLine(bytes.substr(lineBegin, lineEnd - lineBegin)));
        entries.push_back(std::move(entry));
    }
    ListScores = std::move(entries);
    TextScoreA.assign(bytes.substr(0, headerEnd));
    doc.Text.erase(0, headerEnd);
    TextScoreB = std::move(doc);
}

void EditorState::adoptBotNames(ModDocument doc) {
    botLines_.clear();
    editedBots_.clear();
    std::string_view text = doc.Text;
    // Room for exactly the declaring lines: counted first, since a list grown entry by
    // entry would copy 100,000 names' places over and over.
    std::size_t count = 0;
    for (std::size_t at = text.find(BotNamePrefix); at != std::string_view::npos;
         at = text.find(BotNamePrefix, at + BotNamePrefix.size())) {
        count += at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r';
    }
    botLines_.reserve(count);
    forEachLine(text, [&](LineRef ref, std::size_t) {
        if (ref.in(text).substr(0, BotNamePrefix.size()) == BotNamePrefix) botLines_.push_back(ref);
    });
    BotFile = std::move(doc);
}

void EditorState::adopt(ModFile file, ModDocument doc) {
    switch (file) {
    case ModFile::BotNames: adoptBotNames(std::move(doc)); break;
    case ModFile::ServerSettings: adoptServerSettings(std::move(doc)); break;
    case ModFile::AIDefaults: adoptAIDefaults(std::move(doc)); break;
    case ModFile::Scoring: adoptScoring(std::move(doc)); break;
    }
}

void EditorState::botNamesWritten(const TextPatch& patch, const FileStamp& stamp) {
    for (LineRef& line : botLines_) line = patch.moved(line);
    editedBots_.clear();
    patch.applyInPlace(BotFile.Text);
    BotFile.Stamp = stamp;
}

void EditorState::settingsWritten(ModFile file, const TextPatch& patch, const FileStamp& stamp) {
    ModDocument& doc = file == ModFile::ServerSettings ? TextFF : TextAI;
    patch.applyInPlace(doc.Text);
    doc.Stamp = stamp;
    if (patch.appends()) {
        // New lines to find: rare enough to read the file again.
        adoptSettingsFile(file, ModDocument{doc.Path, std::move(doc.Text), stamp});
        return;
    }
    for (Setting s : AllSettings) {
        if (settingInfo(s).file != file) continue;
        for (SettingLine& line : SettingLines[index(s)]) {
            line.Line = patch.moved(line.Line);
            line.Value = settingValue(doc.Text, line.Line, settingInfo(s).command);
        }
        // Each setting that differed was written, so the file now holds what is shown.
        if (saved_[index(s)] != shown_[index(s)]) notes_[index(s)].clear();
        saved_[index(s)] = shown_[index(s)];
    }
}

}  // namespace tarsun
