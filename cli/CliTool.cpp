#include "CliTool.h"

#include "FileOutput.h"

#include "ModFiles.h"
#include "ModFolders.h"
#include "ModLoader.h"
#include "ModWriter.h"
#include "NamedValues.h"
#include "SaveCheck.h"
#include "SaveHistory.h"

#include <CLI/CLI.hpp>
#include <dtl/dtl.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <map>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <ostream>

namespace fs = std::filesystem;

namespace tarsun {

namespace {

// Arguments arrive as UTF-8 on every system; a path is made from them as such.
fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string textOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// Text as a message shows it: control characters (a newline in a folder's name) written
// as escapes, so that every message stays one line.
std::string escaped(std::string_view text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else if (u < 0x20 || u == 0x7F) out.append("\\x").append(1, Hex[u >> 4]).append(1, Hex[u & 15]);
        else out += c;
    }
    return out;
}

// An argument shown in a message: a long one cut (at a character's start), with its size.
constexpr std::size_t ShownArgument = 64;
std::string cut(std::string_view text) {
    if (text.size() <= ShownArgument) return std::string(text);
    std::size_t end = ShownArgument - 16;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end)) + "\u2026 (" + std::to_string(text.size()) + " bytes)";
}

// The problem's text with the argument it quotes cut short.
std::string withCut(std::string problem, std::string_view argument) {
    if (argument.size() <= ShownArgument) return problem;
    if (const std::size_t at = problem.find(argument); at != std::string::npos)
        problem.replace(at, argument.size(), cut(argument));
    return problem;
}

// One message a line on the error stream, naming the mod and, where there is one, the file.
class Messages {
public:
    Messages(std::ostream& err, std::string program) : err_(err), program_(std::move(program)) {}
    void say(const fs::path& mod, const std::string& what) {
        record(nullptr, what);
        say(textOf(mod) + ": " + what);
    }
    void say(const fs::path& mod, ModFile file, const std::string& what) {
        record(&file, what);
        say(textOf(mod) + ": " + modFileDisplayName(file) + ": " + what);
    }
    void say(const std::string& what) { err_ << program_ << ": " << escaped(what) << '\n'; }
    // What is no error (a skipped entry that is no folder, a summary): left out with --quiet.
    void note(const std::string& what) {
        if (!quiet) say(what);
    }
    void note(const fs::path& mod, const std::string& what) { note(textOf(mod) + ": " + what); }
    bool quiet = false;
    // Where a mod's problems are also kept, for set's JSON; null for none.
    nlohmann::json* problems = nullptr;

private:
    void record(const ModFile* file, const std::string& what) {
        if (problems)
            problems->push_back({{"file", file ? nlohmann::json(modFileDisplayName(*file)) : nlohmann::json()},
                                 {"reason", what}});
    }

    std::ostream& err_;
    std::string program_;
};

struct LoadedMod {
    fs::path folder;
    EditorState state;
};

// Loads a mod, or says why it cannot be and returns false. A folder that holds none of
// the four files is no mod, and is said to be so in one line.
bool load(LoadedMod& mod, Messages& messages) {
    std::error_code ec;
    if (!FolderExists(mod.folder)) {
        messages.say(mod.folder, fs::exists(mod.folder, ec) ? "not a folder" : "no such folder");
        return false;
    }
    mod.state.ModFolder = mod.folder;
    mod.state.InitScoreNames();
    LoadResult result = LoadModSettings(mod.state);
    FolderListings listings;
    const bool noModFile = result.problems.size() == AllModFiles.size() &&
                           std::none_of(AllModFiles.begin(), AllModFiles.end(), [&](ModFile file) {
                               return fs::exists(listings.findModFile(mod.folder, file), ec);
                           });
    if (noModFile) {
        messages.say(mod.folder, "not a mod folder: none of its four settings files is there");
        return false;
    }
    for (const auto& problem : result.problems) messages.say(mod.folder, problem.file, problem.reason);
    return result.loaded();
}

// The lines for reading on a terminal: decoded from the files' code page, line ends left off.
std::vector<std::string> lines(std::string_view text, const CodePage& codePage) {
    std::vector<std::string> out;
    forEachLine(text, [&](LineRef line, std::size_t) { out.push_back(codePage.decode(line.in(text))); });
    return out;
}

std::string joined(FileContent pieces) {
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    return text;
}

// A unified diff of what a save would write, in place of writing it.
FileReplacer diffPrinter(std::ostream& out, const CodePage& codePage) {
    return [&out, codePage](const ReplaceRequest& request) {
        dtl::Diff<std::string, std::vector<std::string>> diff(lines(joined(request.base), codePage),
                                                              lines(joined(request.content), codePage));
        diff.onHuge();
        diff.compose();
        diff.composeUnifiedHunks();
        out << "--- " << textOf(request.path) << "\n+++ " << textOf(request.path) << '\n';
        diff.printUnifiedFormat(out);
        ReplaceResult result;
        result.kind = ReplaceResult::Written;
        return result;
    };
}

// ---- show ----------------------------------------------------------------------------

// The file below the mod folder as it was found and is written, in its real letter case
// ("settings/serversettings.con" where the standard name is Settings/ServerSettings.CON).
std::string foundName(const LoadedMod& mod, ModFile file) {
    const EditorState& state = mod.state;
    const fs::path& path = file == ModFile::BotNames         ? state.BotFile.file().Path
                           : file == ModFile::ServerSettings ? state.TextFF.file().Path
                           : file == ModFile::AIDefaults     ? state.TextAI.file().Path
                                                             : state.TextScore.file().Path;
    if (path.empty()) return modFileDisplayName(file);
    const std::u8string name = path.lexically_relative(mod.folder).generic_u8string();
    return {name.begin(), name.end()};
}

nlohmann::json showJson(const LoadedMod& mod) {
    const EditorState& state = mod.state;
    nlohmann::json settings = nlohmann::json::array(), constants = nlohmann::json::array(),
                   bots = nlohmann::json::array();
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        const std::optional<std::string> text = settingFileText(state, s);
        settings.push_back({{"name", info.command},
                            {"file", foundName(mod, info.file)},
                            {"value", state.setting(s)},
                            {"minimum", info.minimum},
                            {"maximum", info.maximum},
                            {"fileText", text ? nlohmann::json(*text) : nlohmann::json()},
                            {"note", state.settingNote(s)}});
    }
    for (std::size_t table = 0; table < ScoreCount; ++table) {
        const ScoreEntry* entry = state.TextScore.entryOf(table);
        nlohmann::json constant{{"name", state.ScoreNames[table]}};
        if (!entry) {
            constant.update({{"value", nullptr},
                             {"text", nullptr},
                             {"literal", false},
                             {"editable", false},
                             {"reason", "the file assigns it no value"}});
        } else {
            constant.update({{"value", state.ScoreValues[table]},
                             {"text", entry->Text},
                             {"literal", entry->Literal},
                             {"editable", entry->Editable},
                             {"reason", entry->NotEditableReason}});
        }
        constants.push_back(std::move(constant));
    }
    for (std::size_t i = 0; i < state.botCount(); ++i) bots.push_back(state.botName(i));
    nlohmann::json files;
    files["botNames"] = foundName(mod, ModFile::BotNames);
    files["serverSettings"] = foundName(mod, ModFile::ServerSettings);
    files["aiDefaults"] = foundName(mod, ModFile::AIDefaults);
    files["scoring"] = foundName(mod, ModFile::Scoring);
    return {{"mod", textOf(mod.folder)}, {"files", files},     {"settings", settings},
            {"constants", constants},    {"bots", bots}};
}

void showTable(const nlohmann::json& shown, std::ostream& out) {
    out << "mod " << shown["mod"].get<std::string>() << '\n';
    std::string file;
    for (const auto& s : shown["settings"]) {
        if (s["file"] != file) out << (file = s["file"]) << '\n';
        out << "  " << std::left << std::setw(32) << s["name"].get<std::string>() << std::right << std::setw(5)
            << s["value"].get<int>();
        if (!s["note"].get<std::string>().empty()) out << "   " << s["note"].get<std::string>();
        out << '\n';
    }
    out << shown["files"]["scoring"].get<std::string>() << '\n';
    for (const auto& c : shown["constants"]) {
        out << "  " << std::left << std::setw(32) << c["name"].get<std::string>() << std::right << std::setw(5);
        if (c["value"].is_null()) {
            out << "-   not in the file\n";
            continue;
        }
        out << c["value"].get<std::int64_t>();
        if (!c["literal"].get<bool>()) out << "   " << c["text"].get<std::string>();
        if (!c["editable"].get<bool>()) out << "   not editable: " << c["reason"].get<std::string>();
        out << '\n';
    }
    out << shown["files"]["botNames"].get<std::string>() << '\n';
    std::size_t n = 0;
    for (const auto& b : shown["bots"])
        out << "  bot." << std::left << std::setw(5) << ++n << ' ' << b.get<std::string>() << '\n';
}

// ---- set -----------------------------------------------------------------------------

struct Assignment {
    std::string name;
    std::string value;
    std::string origin;  // "FILE:LINE: " for a ruleset's line, else ""
};

// NAME=VALUE, where NAME is a word of letters, digits, '.' and '_'; anything else is a mod
// folder ("./a=b" names a folder called "a=b").
std::optional<Assignment> assignment(const std::string& arg) {
    const std::size_t equals = arg.find('=');
    if (equals == 0 || equals == std::string::npos) return std::nullopt;
    const bool word = std::all_of(arg.begin(), arg.begin() + static_cast<std::ptrdiff_t>(equals), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_';
    });
    if (!word) return std::nullopt;
    return Assignment{arg.substr(0, equals), arg.substr(equals + 1), {}};
}

// A ruleset: NAME=VALUE lines (spaces around the name and before the value let go), with
// blank lines and lines whose first character that is not a space is '#'. Every message
// about a line names the file and the line. False, having said why, when one is no value.
bool readRuleset(std::istream& in, const std::string& shownName, std::vector<Assignment>& assignments,
                 Messages& messages) {
    auto trimmed = [](std::string_view text) {
        constexpr std::string_view Spaces = " \t\r";
        const std::size_t start = text.find_first_not_of(Spaces);
        if (start == std::string_view::npos) return std::string_view();
        return text.substr(start, text.find_last_not_of(Spaces) + 1 - start);
    };
    bool good = true;
    std::size_t number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        const std::string_view line = trimmed(text);
        if (line.empty() || line[0] == '#') continue;
        const std::string origin = shownName + ":" + std::to_string(number) + ": ";
        const std::size_t equals = line.find('=');
        std::optional<Assignment> a;
        if (equals != std::string_view::npos)
            a = assignment(std::string(trimmed(line.substr(0, equals))) + "=" +
                           std::string(trimmed(line.substr(equals + 1))));
        if (!a) {
            messages.say(origin + "not NAME=VALUE: " + cut(line));
            good = false;
            continue;
        }
        a->origin = origin;
        assignments.push_back(std::move(*a));
    }
    if (in.bad()) {
        messages.say(shownName + ": could not be read to its end");
        return false;
    }
    return good;
}

// The edit distance of two names, letter case aside.
std::size_t distance(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "; did you mean X?" for a name no value has, when a known name is near it.
std::string suggestion(const EditorState& state, std::string_view name) {
    if (name.starts_with("bot.") || name.size() > 2 * ShownArgument ||
        std::find(state.ScoreNames.begin(), state.ScoreNames.end(), name) != state.ScoreNames.end())
        return {};
    std::vector<std::string_view> known(state.ScoreNames.begin(), state.ScoreNames.end());
    for (Setting s : AllSettings) known.push_back(settingInfo(s).command);
    std::string_view best;
    std::size_t bestDistance = std::max<std::size_t>(2, name.size() / 3) + 1;
    for (std::string_view candidate : known) {
        if (const std::size_t d = distance(name, candidate); d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best.empty() ? std::string() : "; did you mean " + std::string(best) + "?";
}

// The value looked up by its name, or why not, as the admin typed it.
Expected<NamedValue> findValue(const EditorState& state, std::string_view name) {
    Expected<NamedValue> value = findNamedValue(state, name);
    if (!value) return Failure{cut(name) + ": " + value.reason() + suggestion(state, name)};
    return value;
}

// A value for JSON: a number where the editor shows one that the file holds as such,
// otherwise the text.
nlohmann::json valueJson(const EditorState& state, const NamedValue& value) {
    if (value.kind == NamedValue::SettingValue) return state.setting(value.setting);
    if (value.kind == NamedValue::ScoreValue) {
        const ScoreEntry& entry = state.ListScores().at(value.entry);
        if (entry.Literal) return state.ScoreValues[entry.Index];
    }
    return namedValueText(state, value);
}

// Sets one value; nullopt when set, else the refusal (its file, where the name has one).
struct Refusal {
    std::optional<ModFile> file;
    std::string why;
};
std::optional<Refusal> assign(EditorState& state, const Assignment& a) {
    const Expected<NamedValue> value = findValue(state, a.name);
    if (!value) return Refusal{std::nullopt, a.origin + value.reason()};
    const Expected<void> set = value->kind == NamedValue::BotName && a.value.empty()
                                   ? Failure{"a bot name cannot be empty"}
                                   : setNamedValue(state, *value, a.value);
    if (set) return std::nullopt;
    std::string problem = withCut(set.reason(), a.value);
    if (value->kind == NamedValue::SettingValue && value->setting == Setting::BotSkill) {
        problem += ": bot skill takes 0 to 100, as the window shows it";
        double fraction = 0;
        const auto [end, error] = std::from_chars(a.value.data(), a.value.data() + a.value.size(), fraction);
        if (error == std::errc() && end == a.value.data() + a.value.size() && fraction > 0 && fraction <= 1)
            problem += " (" + std::to_string(static_cast<int>(fraction * 100 + 0.5)) + " for the file's " + a.value + ")";
    }
    return Refusal{value->file, a.origin + a.name + ": " + problem};
}

// A name given twice is refused: which of its values was meant is not for the tool to guess.
bool namesOnce(const std::vector<Assignment>& assignments, Messages& messages) {
    std::map<std::string_view, const Assignment*> seen;
    bool once = true;
    for (const Assignment& a : assignments) {
        auto [it, fresh] = seen.emplace(a.name, &a);
        if (fresh) continue;
        const Assignment& first = *it->second;
        messages.say(a.origin + a.name + ": given twice (" + cut(first.value) +
                     (first.origin.empty() ? "" : " at " + first.origin.substr(0, first.origin.size() - 2)) +
                     ", then " + cut(a.value) + ")");
        once = false;
    }
    return once;
}

// The mods of a game folder's mods folder, by name; every other entry is named as skipped.
std::optional<std::vector<fs::path>> modsOf(const fs::path& game, Messages& messages) {
    const std::optional<fs::path> modsFolder = modsFolderIn(game);
    std::error_code ec;
    fs::directory_iterator it;
    if (modsFolder) it = fs::directory_iterator(*modsFolder, ec);
    if (!modsFolder || ec) {
        messages.say(game, "no mods folder that can be read");
        return std::nullopt;
    }
    std::vector<fs::path> mods;
    std::vector<std::pair<fs::path, std::string>> skipped;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code kind;
        const fs::file_status status = it->status(kind);  // links followed
        if (!kind && fs::is_directory(status))
            mods.push_back(it->path());
        else if (kind || !fs::exists(status))
            skipped.push_back({it->path(), "skipped: a link that leads nowhere, or round in a loop"});
        else if (fs::is_regular_file(status))
            skipped.push_back({it->path(), "skipped: a file, not a mod folder"});
        else if (fs::is_fifo(status))
            skipped.push_back({it->path(), "skipped: a named pipe, not a mod folder"});
        else
            skipped.push_back({it->path(), "skipped: not a folder"});
    }
    if (ec) {
        messages.say(*modsFolder, "the mods folder could not be read to its end: " + ec.message());
        return std::nullopt;
    }
    std::sort(skipped.begin(), skipped.end());
    for (const auto& [path, why] : skipped) messages.note(path, why);
    if (mods.empty()) {
        messages.say(game, "the mods folder holds no mod");
        return std::nullopt;
    }
    std::sort(mods.begin(), mods.end());
    return mods;
}

// What the writer did not get to write, for the message of a save that failed part-way.
std::string partlySaved(const std::vector<ModFile>& files, const SaveResult& saved) {
    std::string written, failed;
    for (ModFile file : files) {
        const bool refused = std::any_of(saved.failures.begin(), saved.failures.end(),
                                         [&](const SaveResult::Failure& f) { return f.file == file; });
        std::string& list = refused ? failed : written;
        list += (list.empty() ? "" : ", ") + modFileDisplayName(file);
    }
    return written.empty() ? std::string() : "partly saved: " + written + " written, " + failed + " not";
}

int setValues(const std::vector<fs::path>& folders, const std::vector<Assignment>& assignments, bool dryRun,
              bool keepGoing, bool json, std::ostream& out, Messages& messages) {
    // Every mod is loaded and given its values before any is written, so that a refused
    // value, or a mod that cannot be loaded, leaves every mod as it was (or, going on, only
    // that mod).
    std::vector<LoadedMod> mods(folders.size());
    std::vector<bool> usable(folders.size());
    std::vector<nlohmann::json> records(folders.size());
    bool refusedValue = false, unloadable = false;
    for (std::size_t m = 0; m < mods.size(); ++m) {
        mods[m].folder = folders[m];
        records[m] = {{"mod", textOf(folders[m])}, {"outcome", ""}, {"changes", nlohmann::json::array()},
                      {"problems", nlohmann::json::array()}, {"written", nlohmann::json::array()}};
        messages.problems = &records[m]["problems"];
        const bool loaded = usable[m] = load(mods[m], messages);
        unloadable = unloadable || !loaded;
        for (const Assignment& a : assignments) {
            if (!loaded) break;
            EditorState& state = mods[m].state;
            const Expected<NamedValue> value = findNamedValue(state, a.name);
            const nlohmann::json before = value ? valueJson(state, *value) : nlohmann::json();
            const std::optional<Refusal> refusal = assign(state, a);
            if (!refusal) {
                if (nlohmann::json after = valueJson(state, *value); after != before)
                    records[m]["changes"].push_back({{"name", a.name},
                                                     {"file", modFileDisplayName(value->file)},
                                                     {"old", before},
                                                     {"new", std::move(after)}});
                continue;
            }
            refusedValue = true;
            usable[m] = false;
            if (refusal->file)
                messages.say(mods[m].folder, *refusal->file, refusal->why);
            else
                messages.say(mods[m].folder, refusal->why);
        }
    }
    messages.problems = nullptr;
    auto printRecords = [&] {
        if (json)
            for (const nlohmann::json& record : records)
                out << record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    };
    if ((refusedValue || unloadable) && !keepGoing) {
        for (std::size_t m = 0; m < mods.size(); ++m) records[m]["outcome"] = usable[m] ? "not written" : "skipped";
        printRecords();
        messages.say(std::string(refusedValue ? "a value was refused" : "a mod could not be loaded") +
                     ": nothing was written" + (mods.size() > 1 ? " (--keep-going skips such mods)" : ""));
        return refusedValue ? ExitBadInput : ExitFileRefused;
    }
    std::size_t written = 0, unchanged = 0, refused = 0, skipped = 0;
    const FileReplacer replacer =
        !dryRun ? FileReplacer([](const ReplaceRequest& request) { return replaceModFile(request); })
        : json  ? FileReplacer([](const ReplaceRequest&) { return ReplaceResult{ReplaceResult::Written, {}, {}, {}}; })
                : diffPrinter(out, CodePage::system());
    for (std::size_t m = 0; m < mods.size(); ++m) {
        nlohmann::json& record = records[m];
        messages.problems = &record["problems"];
        if (!usable[m]) {
            record["outcome"] = "skipped";
            ++skipped;
            continue;
        }
        const std::vector<ModFile> files = filesToWrite(mods[m].state, SaveGroups{});
        if (files.empty()) {
            record["outcome"] = "unchanged";
            ++unchanged;
            continue;
        }
        // Every file the mod's save would write is checked before the first is written.
        const std::vector<SaveResult::Failure> problems = whySaveWouldFail(mods[m].state, SaveGroups{});
        for (const auto& problem : problems) messages.say(mods[m].folder, problem.file, problem.reason);
        if (!problems.empty()) {
            messages.say(mods[m].folder, "refused: nothing of it was written");
            record["outcome"] = "refused";
            ++refused;
            continue;
        }
        if (!dryRun) mods[m].state.HistoryFolder = userHistoryFolder();
        const SaveResult saved = SaveModSettings(mods[m].state, SaveGroups{}, replacer);
        if (!saved.historyProblem.empty()) messages.say(mods[m].folder, saved.historyProblem);
        if (saved.missingFile)
            messages.say(mods[m].folder, "a file went missing since it was read: nothing was written");
        for (const auto& failure : saved.failures) messages.say(mods[m].folder, failure.file, failure.reason);
        if (const std::string partly = partlySaved(files, saved); !saved.done() && !partly.empty())
            messages.say(mods[m].folder, partly);
        for (ModFile file : files) {
            const bool failed = saved.missingFile || std::any_of(saved.failures.begin(), saved.failures.end(),
                                                                 [&](const auto& f) { return f.file == file; });
            if (!failed) record["written"].push_back(modFileDisplayName(file));
        }
        record["outcome"] = !saved.done() ? "refused" : dryRun ? "to write" : "written";
        saved.done() ? ++written : ++refused;
    }
    messages.problems = nullptr;
    printRecords();
    if (mods.size() > 1) {
        messages.note(std::to_string(mods.size()) + " mods: " + std::to_string(written) +
                      (dryRun ? " to write, " : " written, ") + std::to_string(unchanged) + " unchanged, " +
                      std::to_string(refused) + " refused" +
                      (skipped ? ", " + std::to_string(skipped) + " skipped" : std::string()));
    }
    return refused + skipped > 0 ? ExitFileRefused : ExitDone;
}

// ---- show and get across mods ----------------------------------------------------------

// Each mod loaded in turn and handed to `each`; a mod that cannot be loaded is said and
// passed over. Stops once the output cannot be written.
template <class Each>
int forEachMod(const std::vector<fs::path>& folders, std::ostream& out, Messages& messages, Each each) {
    int status = ExitDone;
    for (const fs::path& folder : folders) {
        LoadedMod mod{folder, EditorState()};
        if (!load(mod, messages))
            status = std::max(status, ExitFileRefused);
        else
            status = std::max(status, each(mod));
        if (!out) break;
    }
    return status;
}

int getValues(const std::vector<fs::path>& folders, const std::vector<std::string>& names, bool oneMod, bool json,
              std::ostream& out, Messages& messages) {
    return forEachMod(folders, out, messages, [&](const LoadedMod& mod) {
        std::vector<std::string> texts;
        nlohmann::json values = nlohmann::json::object();
        for (const std::string& name : names) {
            if (const Expected<NamedValue> value = findValue(mod.state, name)) {
                texts.push_back(namedValueText(mod.state, *value));
                values[name] = valueJson(mod.state, *value);
            } else {
                messages.say(mod.folder, value.reason());
                values[name] = nullptr;
            }
        }
        const int status = texts.size() == names.size() ? ExitDone : ExitBadInput;
        if (json) {
            out << nlohmann::json{{"mod", textOf(mod.folder)}, {"values", values}}.dump(
                       -1, ' ', false, nlohmann::json::error_handler_t::replace)
                << '\n';
        } else if (status != ExitDone) {
            // A line short of a value would shift the others.
        } else if (oneMod) {
            for (const std::string& text : texts) out << text << '\n';
        } else {
            out << escaped(textOf(mod.folder));
            for (const std::string& text : texts) out << '\t' << escaped(text);
            out << '\n';
        }
        return status;
    });
}

int showValues(const std::vector<fs::path>& folders, bool json, std::ostream& out, Messages& messages) {
    bool first = true;
    return forEachMod(folders, out, messages, [&](const LoadedMod& mod) {
        const nlohmann::json shown = showJson(mod);
        if (json) {
            out << shown.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        } else {
            if (!first) out << '\n';
            showTable(shown, out);
        }
        first = false;
        return ExitDone;
    });
}

// ---- history and undo -----------------------------------------------------------------

std::string utcTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    const std::tm* tm = std::gmtime(&t);
    char text[32] = "?";
    if (tm) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", tm);
    return text;
}

int showHistory(const fs::path& folder, std::ostream& out, Messages& messages) {
    const fs::path history = userHistoryFolder();
    const std::vector<SavedRecord> records = savedRecords(history, folder);
    if (records.empty()) messages.note(folder, "no save of this mod is kept in " + textOf(history));
    for (const SavedRecord& record : records) {
        out << record.number << "  " << utcTime(record.time) << " ";
        for (std::size_t i = 0; i < record.files.size(); ++i) out << (i ? ", " : " ") << escaped(record.files[i].name);
        out << '\n';
        for (const std::string& value : record.values) out << "    " << escaped(value) << '\n';
    }
    return ExitDone;
}

// Undoes save `number` of each mod, or where it is 0 the newest save of each.
int undoSaves(const std::vector<fs::path>& folders, unsigned long number, std::ostream& out, Messages& messages) {
    const fs::path history = userHistoryFolder();
    int status = ExitDone;
    for (const fs::path& folder : folders) {
        unsigned long which = number;
        if (which == 0) {
            const std::vector<SavedRecord> records = savedRecords(history, folder);
            if (records.empty()) {
                messages.note(folder, "no save of this mod is kept: nothing to undo");
                continue;
            }
            which = records.back().number;
        }
        const UndoResult undone = undoSave(history, folder, which);
        const std::string save = "save " + std::to_string(which);
        if (!undone.found) {
            messages.say(folder, "no " + save + " is kept (tarsun-cli history lists the saves)");
            status = std::max(status, ExitBadInput);
            continue;
        }
        for (const auto& [file, why] : undone.refused) messages.say(folder, file + ": " + why);
        if (!undone.historyProblem.empty()) messages.say(folder, undone.historyProblem);
        if (!undone.refused.empty() && undone.restored.empty()) {
            messages.say(folder, "the undo of " + save + " was refused: nothing was written");
        } else if (!undone.refused.empty()) {
            std::string restored;
            for (const std::string& file : undone.restored) restored += (restored.empty() ? "" : ", ") + file;
            messages.say(folder, "the undo of " + save + " was cut short: only " + restored + " restored");
        }
        if (!undone.refused.empty()) status = std::max(status, ExitFileRefused);
        for (const std::string& file : undone.unchanged) messages.note(folder, file + ": already as before " + save);
        for (const std::string& file : undone.restored)
            out << escaped(textOf(folder)) << ": " << escaped(file) << ": restored as before " << save << '\n';
    }
    return status;
}

int runCommand(const std::vector<std::string>& args, const std::string& program, std::istream& in,
               std::ostream& out, Messages& messages, std::ostream& err) {
    CLI::App app("Shows and sets the values of Kestrelfall mods, as Tarsun Editor does.", program);
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tarsun-cli ") + TARSUN_VERSION);
    app.add_flag("-q,--quiet", messages.quiet, "errors only: no summary line, no note of a skipped entry");
    app.fallthrough();  // --quiet after the command too
    app.footer("Exit status: 0 done; 1 a mod or file could not be read or written, or was skipped (the rest "
               "done, nothing lost); 2 bad usage or a refused value, nothing written; 3 standard output or "
               "standard error could not be written (the output is incomplete).");

    std::string gameText;
    std::vector<std::string> modTexts, getArgs, setArgs;
    bool json = false, dryRun = false, keepGoing = false;
    const std::string modsHelp = "every mod of this game folder's mods folder";
    CLI::App* show = app.add_subcommand("show", "every value of one or more mods, as a table or as JSON");
    show->add_option("MOD_FOLDER", modTexts, "the mods' folders");
    show->add_option("--mods", gameText, modsHelp);
    show->add_flag("--json", json, "JSON, one object a line for each mod (see docs/cli-json.md)");
    CLI::App* get = app.add_subcommand("get", "values by name: one a line, or one line for each mod");
    get->add_option("MOD_FOLDER_AND_NAME", getArgs,
                    "the mod's folder (unless --mods or --mod give the mods), then sv.soldierFriendlyFire, "
                    "SCORE_KILL, bot.1 ...")
        ->required();
    get->add_option("--mods", gameText, modsHelp);
    get->add_option("-m,--mod", modTexts, "a mod's folder; may be given again")->allow_extra_args(false);
    get->add_flag("--json", json, "JSON, one object a line for each mod");
    CLI::App* set = app.add_subcommand("set", "sets values in one or more mods");
    set->add_option("MOD_FOLDER_OR_VALUE", setArgs, "mod folders, then NAME=VALUE ...");
    set->add_option("--mods", gameText, modsHelp);
    set->add_flag("--dry-run", dryRun, "print a unified diff of what would be written; write nothing");
    set->add_flag("--keep-going", keepGoing,
                  "skip (and name) the mods that cannot be loaded or take a value; save the others");
    std::vector<std::string> rulesets;
    set->add_option("--from", rulesets, "NAME=VALUE lines from this file ('-' for standard input); may be given again")
        ->allow_extra_args(false);
    set->add_flag("--json", json, "each mod's outcome as JSON, one object a line (no diff with --dry-run)");

    std::vector<std::string> undoArgs;
    CLI::App* history = app.add_subcommand("history", "the saves kept for undo of a mod: time, files, values changed");
    history->add_option("MOD_FOLDER", undoArgs, "the mod's folder")->required()->expected(1);
    CLI::App* undo = app.add_subcommand("undo", "puts a mod's files back as they were before a save");
    undo->add_option("MOD_FOLDER_AND_SAVE", undoArgs, "the mod's folder, then the save's number (the newest without)")
        ->expected(0, 2);
    undo->add_option("--mods", gameText, "the newest save of every mod of this game folder's mods folder");

    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? ExitDone : ExitBadInput;
    }

    try {
        if (*history) return showHistory(pathOf(undoArgs.front()), out, messages);
        if (*undo) {
            std::vector<fs::path> folders;
            unsigned long number = 0;
            if (!gameText.empty()) {
                auto mods = modsOf(pathOf(gameText), messages);
                if (!mods) return ExitFileRefused;
                folders = std::move(*mods);
            }
            if (undoArgs.size() == 2) {
                const std::string& n = undoArgs[1];
                const auto [end, error] = std::from_chars(n.data(), n.data() + n.size(), number);
                if (error != std::errc() || end != n.data() + n.size() || number == 0) {
                    messages.say(cut(n) + ": not a save's number (tarsun-cli history lists them)");
                    return ExitBadInput;
                }
            }
            if (!undoArgs.empty()) folders.push_back(pathOf(undoArgs.front()));
            if (folders.empty() || (folders.size() > 1 && number != 0)) {
                messages.say("undo needs one mod folder (and a save's number), or --mods");
                return ExitBadInput;
            }
            return undoSaves(folders, number, out, messages);
        }
        std::vector<fs::path> folders;
        for (const std::string& text : modTexts) folders.push_back(pathOf(text));
        std::vector<std::string> names;
        std::vector<Assignment> assignments;
        if (*get) {
            names = getArgs;
            if (gameText.empty() && modTexts.empty()) {
                folders.push_back(pathOf(names.front()));
                names.erase(names.begin());
            }
            if (names.empty()) {
                messages.say("get needs a mod folder (or --mods, --mod) and at least one NAME");
                return ExitBadInput;
            }
        }
        for (const std::string& arg : setArgs) {
            if (auto a = assignment(arg))
                assignments.push_back(std::move(*a));
            else
                folders.push_back(pathOf(arg));
        }
        for (const std::string& ruleset : rulesets) {
            std::ifstream file;
            if (ruleset != "-") {
                file.open(pathOf(ruleset), std::ios::binary);
                if (!file) {
                    messages.say(ruleset + ": the ruleset cannot be read");
                    return ExitBadInput;
                }
            }
            if (!readRuleset(ruleset == "-" ? in : file, ruleset == "-" ? "standard input" : ruleset, assignments,
                             messages))
                return ExitBadInput;
        }
        if (*set && assignments.empty()) {
            messages.say("set needs at least one mod folder (or --mods) and one NAME=VALUE");
            return ExitBadInput;
        }
        if (*set && !namesOnce(assignments, messages)) return ExitBadInput;
        const bool oneMod = folders.size() == 1 && gameText.empty();
        if (!gameText.empty()) {
            auto mods = modsOf(pathOf(gameText), messages);
            if (!mods) return ExitFileRefused;
            folders.insert(folders.end(), mods->begin(), mods->end());
        }
        if (folders.empty()) {
            messages.say(std::string(*set ? "set" : "show") +
                         " needs at least one mod folder (or --mods)" + (*set ? " and one NAME=VALUE" : ""));
            return ExitBadInput;
        }
        if (*set) return setValues(folders, assignments, dryRun, keepGoing, json, out, messages);
        if (*get) return getValues(folders, names, oneMod, json, out, messages);
        return showValues(folders, json, out, messages);
    } catch (const std::exception& e) {
        // Out of memory, or a file system that throws: said, and nothing half done.
        messages.say(e.what());
        return ExitFileRefused;
    }
}

// The system's reason a stream's write failed, where its buffer keeps one.
std::string writeError(const std::ostream& stream) {
    const auto* buffer = dynamic_cast<const FileOutput*>(stream.rdbuf());
    return buffer && !buffer->error().empty() ? ": " + buffer->error() : std::string();
}

}  // namespace

int runTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    const std::string program = args.empty() ? "tarsun-cli" : pathOf(args[0]).stem().string();
    Messages messages(err, program);
    const int status = runCommand(args, program, in, out, messages, err);
    // A script must not take cut-short output for the whole of it.
    out.flush();
    if (!out) {
        messages.say("standard output could not be written" + writeError(out));
        return ExitOutputFailed;
    }
    err.flush();
    return err ? status : ExitOutputFailed;
}

int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::istringstream none;
    return runTool(args, none, out, err);
}

}  // namespace tarsun
