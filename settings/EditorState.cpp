#include "EditorState.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

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

std::size_t scoreIndexOf(std::string_view name) {
    static const std::unordered_map<std::string_view, std::size_t> byName = [] {
        std::unordered_map<std::string_view, std::size_t> m;
        for (std::size_t i = 0; i < ScoreCount; ++i) m.emplace(scoreNameTable[i], i);
        return m;
    }();
    auto it = byName.find(name);
    return it == byName.end() ? ScoreCount : it->second;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A setting line is its command followed by a blank, a tab or the line's end.
bool isSettingLine(std::string_view line, std::string_view command) {
    // The character after the command first: it rules out nearly every other line without
    // comparing text.
    return line.size() >= command.size() && (line.size() == command.size() || isBlank(line[command.size()])) &&
           line.substr(0, command.size()) == command;
}

// Where a constant's value text stands, from the first character after its "=".
LineRef valueSpan(std::string_view afterEquals, std::size_t offset, const ParsedNumber& number) {
    if (number.found) return {offset + number.start, number.end - number.start};
    // No number: the value is whatever stands before a comment, blanks trimmed.
    std::size_t begin = 0;
    while (begin < afterEquals.size() && isBlank(afterEquals[begin])) ++begin;
    std::size_t end = std::min(afterEquals.find('#', begin), afterEquals.size());
    while (end > begin && isBlank(afterEquals[end - 1])) --end;
    return {offset + begin, end - begin};
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

NameProblem EditorState::setBotName(std::size_t entry, std::string name) {
    NameProblem problem = checkBotName(name);
    if (problem != NameProblem::None) return problem;
    BotNameEntry& bot = BotNames.at(entry);
    bot.Name = std::move(name);
    if (bot.Name == codePage_.decode(bot.Line.in(BotFile.Text).substr(BotNamePrefix.size()))) {
        editedBots_.erase(entry);
    } else {
        editedBots_.insert(entry);
    }
    return problem;
}

void EditorState::setScoreValue(std::size_t entry, std::int64_t value) {
    ScoreEntry& e = ListScores.at(entry);
    ScoreValues[e.Index] = value;
    e.Text = scoreListText(e);
}

std::string EditorState::scoreListText(const ScoreEntry& entry) const {
    std::string line(entry.Line.in(TextScoreB.Text));
    std::int64_t value = ScoreValues[entry.Index];
    if (value != entry.SavedValue) {
        line.replace(entry.Value.begin - entry.Line.begin, entry.Value.length, std::to_string(value));
    }
    return codePage_.decode(line);
}

bool EditorState::hasUnsavedChanges() const {
    for (std::size_t i = 0; i < SettingCount; ++i)
        if (shown_[i] != saved_[i]) return true;
    if (!editedBots_.empty()) return true;
    for (const auto& e : ListScores)
        if (ScoreValues[e.Index] != e.SavedValue) return true;
    return false;
}

void EditorState::adoptSettingsFile(ModFile file, ModDocument doc) {
    std::string_view text = doc.Text;
    struct Found {
        bool any = false;
        ParsedNumber last;
    };
    std::array<Found, SettingCount> found{};
    for (Setting s : AllSettings) {
        if (settingInfo(s).file == file) SettingLines[index(s)].clear();
    }
    forEachLine(text, [&](LineRef ref, std::size_t) {
        std::string_view line = ref.in(text);
        for (Setting s : AllSettings) {
            const SettingInfo& info = settingInfo(s);
            if (info.file != file || !isSettingLine(line, info.command)) continue;
            SettingLines[index(s)].push_back(ref);
            found[index(s)] = {true, parseNumber(line.substr(info.command.size()), info.percentOfOne ? 2 : 0)};
            break;
        }
    });
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        if (info.file != file) continue;
        const Found& f = found[index(s)];
        int value = info.fallback;
        if (f.any && f.last.found) {
            std::int64_t rounded = roundToInteger(f.last.value);
            value = static_cast<int>(std::clamp<std::int64_t>(rounded, info.minimum, info.maximum));
        }
        shown_[index(s)] = saved_[index(s)] = value;
    }
    (file == ModFile::ServerSettings ? TextFF : TextAI) = std::move(doc);
}

void EditorState::adoptServerSettings(ModDocument doc) { adoptSettingsFile(ModFile::ServerSettings, std::move(doc)); }

void EditorState::adoptAIDefaults(ModDocument doc) { adoptSettingsFile(ModFile::AIDefaults, std::move(doc)); }

void EditorState::adoptScoring(std::filesystem::path path, std::string_view bytes) {
    // The header runs up to and including the first "from qmr i" line; without one the
    // whole file is header.
    std::size_t headerEnd = bytes.size();
    bool headerFound = false;
    forEachLine(bytes, [&](LineRef ref, std::size_t lineEnd) {
        if (!headerFound && ref.in(bytes).substr(0, ScoringHeaderEnd.size()) == ScoringHeaderEnd) {
            headerFound = true;
            headerEnd = ref.end() + lineEnd;
        }
    });
    TextScoreA.assign(bytes.substr(0, headerEnd));
    TextScoreB = ModDocument{std::move(path), std::string(bytes.substr(headerEnd))};

    std::array<bool, ScoreCount> seen{};
    std::vector<ScoreEntry> entries;
    std::string_view body = TextScoreB.Text;
    forEachLine(body, [&](LineRef ref, std::size_t) {
        std::string_view line = ref.in(body);
        std::size_t nameEnd = std::min(line.find_first_of(" \t="), line.size());
        std::size_t table = scoreIndexOf(line.substr(0, nameEnd));
        if (table == ScoreCount || seen[table]) return;
        std::size_t eq = nameEnd;
        while (eq < line.size() && isBlank(line[eq])) ++eq;
        if (eq >= line.size() || line[eq] != '=') return;
        std::string_view afterEquals = line.substr(eq + 1);
        ParsedNumber number = parseNumber(afterEquals);
        ScoreEntry entry;
        entry.Index = table;
        entry.Line = ref;
        entry.Value = valueSpan(afterEquals, ref.begin + eq + 1, number);
        entry.SavedValue = number.found ? roundToInteger(number.value) : 0;
        seen[table] = true;
        entries.push_back(std::move(entry));
    });
    std::sort(entries.begin(), entries.end(),
              [](const ScoreEntry& a, const ScoreEntry& b) { return a.Index < b.Index; });
    for (ScoreEntry& e : entries) {
        ScoreValues[e.Index] = e.SavedValue;
        e.Text = codePage_.decode(e.Line.in(body));
    }
    ListScores = std::move(entries);
}

void EditorState::adoptBotNames(ModDocument doc) {
    BotNames.clear();
    editedBots_.clear();
    std::string_view text = doc.Text;
    // Room for one entry per line, so that a list of 100,000 names is not copied over and
    // over as it grows (a file ending its lines in CR alone just grows it the usual way).
    std::size_t lineFeeds = 0;
    for (const char *p = text.data(), *end = p + text.size(); p != end; ++p, ++lineFeeds) {
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (!p) break;
    }
    BotNames.reserve(lineFeeds + 1);
    forEachLine(text, [&](LineRef ref, std::size_t) {
        std::string_view line = ref.in(text);
        if (line.substr(0, BotNamePrefix.size()) != BotNamePrefix) return;
        std::string name = codePage_.decode(line.substr(BotNamePrefix.size()));
        BotNames.push_back(BotNameEntry{ref, std::move(name)});
    });
    BotFile = std::move(doc);
}

void EditorState::botNamesWritten(const TextPatch& patch) {
    for (BotNameEntry& bot : BotNames) bot.Line = patch.moved(bot.Line);
    editedBots_.clear();
    patch.applyInPlace(BotFile.Text);
}

void EditorState::settingsWritten(ModFile file, const TextPatch& patch) {
    ModDocument& doc = file == ModFile::ServerSettings ? TextFF : TextAI;
    patch.applyInPlace(doc.Text);
    if (patch.appends()) {
        // New lines to find: rare enough to read the file again.
        adoptSettingsFile(file, ModDocument{doc.Path, std::move(doc.Text)});
        return;
    }
    for (Setting s : AllSettings) {
        if (settingInfo(s).file != file) continue;
        for (LineRef& line : SettingLines[index(s)]) line = patch.moved(line);
        // Each setting that differed was written, so the file now holds what is shown.
        saved_[index(s)] = shown_[index(s)];
    }
}

}  // namespace tarsun
