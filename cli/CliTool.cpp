#include "CliTool.h"

#include "ModFolders.h"
#include "ModLoader.h"
#include "ModWriter.h"
#include "NamedValues.h"

#include <CLI/CLI.hpp>
#include <dtl/dtl.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <iomanip>
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

// One message a line on the error stream, naming the mod and, where there is one, the file.
class Messages {
public:
    Messages(std::ostream& err, std::string program) : err_(err), program_(std::move(program)) {}
    void say(const fs::path& mod, const std::string& what) {
        err_ << program_ << ": " << textOf(mod) << ": " << what << '\n';
    }
    void say(const fs::path& mod, ModFile file, const std::string& what) {
        say(mod, modFileDisplayName(file) + ": " + what);
    }
    void say(const std::string& what) { err_ << program_ << ": " << what << '\n'; }

private:
    std::ostream& err_;
    std::string program_;
};

struct LoadedMod {
    fs::path folder;
    EditorState state;
};

// Loads a mod, or says why it cannot be and returns false.
bool load(LoadedMod& mod, Messages& messages) {
    mod.state.ModFolder = mod.folder;
    mod.state.InitScoreNames();
    LoadResult result = LoadModSettings(mod.state);
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
    return Assignment{arg.substr(0, equals), arg.substr(equals + 1)};
}

// The mods of a game folder's mods folder, by name.
std::optional<std::vector<fs::path>> modsOf(const fs::path& game, Messages& messages) {
    const std::optional<fs::path> mods = findModsFolder(game);
    auto names = mods ? listSubfolders(*mods) : std::nullopt;
    if (!names || names->empty()) {
        messages.say(game, names ? "the mods folder holds no mod" : "no mods folder that can be read");
        return std::nullopt;
    }
    std::sort(names->begin(), names->end());
    for (fs::path& name : *names) name = *mods / name;
    return names;
}

int setValues(const std::vector<fs::path>& folders, const std::vector<Assignment>& assignments, bool dryRun,
              std::ostream& out, Messages& messages) {
    // Every mod is loaded and given its values before any is written, so that a refused
    // value leaves every mod as it was.
    std::vector<LoadedMod> mods(folders.size());
    std::vector<bool> loaded(folders.size());
    bool refusedValue = false;
    for (std::size_t m = 0; m < mods.size(); ++m) {
        mods[m].folder = folders[m];
        loaded[m] = load(mods[m], messages);
        for (const Assignment& a : assignments) {
            if (!loaded[m]) break;
            std::string problem;
            const std::optional<NamedValue> value = findNamedValue(mods[m].state, a.name, problem);
            if (value) problem = setNamedValue(mods[m].state, *value, a.value);
            if (problem.empty()) continue;
            refusedValue = true;
            if (value)
                messages.say(mods[m].folder, value->file, a.name + ": " + problem);
            else
                messages.say(mods[m].folder, a.name + ": " + problem);
        }
    }
    if (refusedValue) {
        messages.say("a value was refused: nothing was written");
        return ExitBadInput;
    }
    std::size_t written = 0, unchanged = 0, refused = 0;
    const FileReplacer replacer = dryRun ? diffPrinter(out, CodePage::system())
                                         : [](const ReplaceRequest& request) { return replaceModFile(request); };
    for (std::size_t m = 0; m < mods.size(); ++m) {
        if (!loaded[m]) {
            ++refused;
            continue;
        }
        const SaveGroups groups = groupsWithEdits(mods[m].state);
        if (!groups.FriendlyFire && !groups.ScoreList && !groups.BotSettings && !groups.BotNames) {
            ++unchanged;
            continue;
        }
        const SaveResult saved = SaveModSettings(mods[m].state, groups, replacer);
        if (saved.missingFile)
            messages.say(mods[m].folder, "a file went missing since it was read: nothing was written");
        for (const auto& failure : saved.failures) messages.say(mods[m].folder, failure.file, failure.reason);
        saved.done() ? ++written : ++refused;
    }
    if (mods.size() > 1) {
        messages.say(std::to_string(mods.size()) + " mods: " + std::to_string(written) +
                     (dryRun ? " to write, " : " written, ") + std::to_string(unchanged) + " unchanged, " +
                     std::to_string(refused) + " refused");
    }
    return refused > 0 ? ExitFileRefused : ExitDone;
}

}  // namespace

int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string program = args.empty() ? "tarsun-cli" : pathOf(args[0]).stem().string();
    Messages messages(err, program);
    CLI::App app("Shows and sets the values of Kestrelfall mods, as Tarsun Editor does.", program);
    app.require_subcommand(1);

    std::string modText, gameText;
    std::vector<std::string> names, setArgs;
    bool json = false, dryRun = false;
    CLI::App* show = app.add_subcommand("show", "every value of a mod, as a table or as JSON");
    show->add_option("MOD_FOLDER", modText, "the mod's folder")->required();
    show->add_flag("--json", json, "JSON (see docs/cli-json.md)");
    CLI::App* get = app.add_subcommand("get", "values by name, one a line");
    get->add_option("MOD_FOLDER", modText, "the mod's folder")->required();
    get->add_option("NAME", names, "sv.soldierFriendlyFire, SCORE_KILL, bot.1 ...")->required();
    CLI::App* set = app.add_subcommand("set", "sets values in one or more mods");
    set->add_option("MOD_FOLDER_OR_VALUE", setArgs, "mod folders, then NAME=VALUE ...")->required();
    set->add_option("--mods", gameText, "every mod of this game folder's mods folder");
    set->add_flag("--dry-run", dryRun, "print a unified diff of what would be written; write nothing");

    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? ExitDone : ExitBadInput;
    }

    try {
        if (*set) {
            std::vector<fs::path> folders;
            std::vector<Assignment> assignments;
            for (const std::string& arg : setArgs) {
                if (auto a = assignment(arg))
                    assignments.push_back(std::move(*a));
                else
                    folders.push_back(pathOf(arg));
            }
            if (!gameText.empty()) {
                auto mods = modsOf(pathOf(gameText), messages);
                if (!mods) return ExitFileRefused;
                folders.insert(folders.end(), mods->begin(), mods->end());
            }
            if (folders.empty() || assignments.empty()) {
                messages.say("set needs at least one mod folder (or --mods) and one NAME=VALUE");
                return ExitBadInput;
            }
            return setValues(folders, assignments, dryRun, out, messages);
        }
        LoadedMod mod{pathOf(modText), EditorState()};
        if (!load(mod, messages)) return ExitFileRefused;
        if (*show) {
            const nlohmann::json shown = showJson(mod);
            if (json)
                out << shown.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
            else
                showTable(shown, out);
            return ExitDone;
        }
        std::vector<std::string> values;
        for (const std::string& name : names) {
            std::string problem;
            if (auto value = findNamedValue(mod.state, name, problem))
                values.push_back(namedValueText(mod.state, *value));
            else
                messages.say(mod.folder, name + ": " + problem);
        }
        if (values.size() != names.size()) return ExitBadInput;
        for (const std::string& value : values) out << value << '\n';
        return ExitDone;
    } catch (const std::exception& e) {
        // Out of memory, or a file system that throws: said, and nothing half done.
        messages.say(e.what());
        return ExitFileRefused;
    }
}

}  // namespace tarsun
