// tarsun-cli as a user runs it, on real mod folders. On Linux each case starts the program
// itself; the Windows build runs the same commands in-process.

#include "CliTool.h"
#include "ModFolders.h"
#include "NamedValues.h"
#include "TempMod.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#ifdef TARSUN_CLI_PROGRAM
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace tarsun;
using namespace tarsun::testing;

namespace {

struct Ran {
    int status = -1;
    std::string out, err;
};

Ran run(std::vector<std::string> args) {
#ifdef TARSUN_CLI_PROGRAM
    static const TempMod scratch;  // for the program's output
    const std::string out = (scratch.folder() / "std").string();
    std::string command = TARSUN_CLI_PROGRAM;
    for (const std::string& arg : args) {
        command += " '";
        for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += '\'';
    }
    const int status = std::system((command + " >'" + out + "1' 2>'" + out + "2'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readBytes(out + "1"), readBytes(out + "2")};
#else
    std::ostringstream out, err;
    args.insert(args.begin(), "tarsun-cli");
    const int status = runTool(args, out, err);
    return {status, out.str(), err.str()};
#endif
}

// Mixed line ends, a comment after a value, a value that is not a number, a setting with no
// line, a constant that is an expression and one the file lacks.
const std::string Bots = "rem bots\r\naiSettings.addBotName Alpha\r\naiSettings.addBotName Bravo\r\n";
const std::string Server = "rem server\r\nsv.soldierFriendlyFire 75 rem keep\r\nsv.vehicleFriendlyFire abc\r\n"
                           "sv.soldierSplashFriendlyFire 60\n";
const std::string AI = "aiSettings.setMaxNBots 24\raiSettings.setBotSkill 0.35\r";
const std::string Scoring = "# scoring\r\nfrom qmr import *\r\nSCORE_KILL = 2   # points\r\n"
                            "SCORE_TEAMKILL = 2 * 3\r\nSCORE_HEAL = 0x10; SCORE_REVIVE = 1\r\n";
const std::array<std::string, 4> Unchanged{Bots, Server, AI, Scoring};

struct CliTest : ::testing::Test {
    TempMod mod;
    void SetUp() override { mod.writeAll(Bots, Server, AI, Scoring); }
    std::string folder() const { return mod.folder().string(); }
    std::array<std::string, 4> files() const {
        return {mod.read(ModFile::BotNames), mod.read(ModFile::ServerSettings), mod.read(ModFile::AIDefaults),
                mod.read(ModFile::Scoring)};
    }
};

TEST_F(CliTest, ShowsAndGetsWhatTheFilesHold) {
    const Ran table = run({"show", folder()});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("100   The file holds \"abc\", which is not a number"), std::string::npos) << table.out;

    // The JSON names each file as found, in its real letter case.
    const fs::path ai = mod.path(ModFile::AIDefaults);
    fs::rename(ai, ai.parent_path() / "aidefault.ai");
    const Ran shown = run({"show", folder(), "--json"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const auto json = nlohmann::json::parse(shown.out);
    EXPECT_EQ(json["files"], nlohmann::json::parse(R"({"botNames": "AI/BotNames.AI", "aiDefaults": "AI/aidefault.ai",
        "serverSettings": "Settings/ServerSettings.CON", "scoring": "python/game/scoringCommon.py"})"));
    EXPECT_EQ(json["settings"][4]["file"], "AI/aidefault.ai");
    EXPECT_EQ(json["settings"][1]["fileText"], "abc");
    EXPECT_TRUE(json["settings"][3]["fileText"].is_null());
    EXPECT_EQ(json["settings"][5]["value"], 35);
    EXPECT_EQ(json["constants"][0], nlohmann::json::parse(R"({"name": "SCORE_KILL", "value": 2, "literal": true,
        "text": "SCORE_KILL = 2   # points", "editable": true, "reason": ""})"));
    EXPECT_EQ(json["constants"][1]["text"], "SCORE_TEAMKILL = 2 * 3");
    EXPECT_TRUE(json["constants"][2]["value"].is_null());
    EXPECT_EQ(json["bots"], nlohmann::json::parse(R"(["Alpha", "Bravo"])"));

    const Ran got = run({"get", folder(), "aiSettings.setBotSkill", "SCORE_TEAMKILL", "SCORE_HEAL", "bot.2",
                         "sv.vehicleSplashFriendlyFire"});
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, "35\n2 * 3\n16\nBravo\n100\n");
}

TEST_F(CliTest, SetWritesOnlyTheValuesGiven) {
    const Ran r = run({"set", folder(), "sv.soldierFriendlyFire=40", "sv.vehicleSplashFriendlyFire=10",
                       "aiSettings.setBotSkill=50", "SCORE_KILL=-7", "SCORE_TEAMKILL=3", "bot.2=Zo\u00EB"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(files(), (std::array<std::string, 4>{
                           "rem bots\r\naiSettings.addBotName Alpha\r\naiSettings.addBotName Zo\xEB\r\n",
                           "rem server\r\nsv.soldierFriendlyFire 40 rem keep\r\nsv.vehicleFriendlyFire abc\r\n"
                           "sv.soldierSplashFriendlyFire 60\nsv.vehicleSplashFriendlyFire 10\r\n",
                           "aiSettings.setMaxNBots 24\raiSettings.setBotSkill 0.5\r",
                           "# scoring\r\nfrom qmr import *\r\nSCORE_KILL = -7   # points\r\n"
                           "SCORE_TEAMKILL = 3\r\nSCORE_HEAL = 0x10; SCORE_REVIVE = 1\r\n"}));
    TARSUN_NEEDS_PYTHON();
    const auto python = pythonNames(mod.path(ModFile::Scoring));
    ASSERT_TRUE(python);
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : *python) values[name] = value.repr;
    EXPECT_EQ(values, (std::map<std::string, std::string>{
                          {"SCORE_KILL", "-7"}, {"SCORE_TEAMKILL", "3"}, {"SCORE_HEAL", "16"}, {"SCORE_REVIVE", "1"}}));
}

TEST_F(CliTest, DryRunPrintsTheDiffAndTouchesNothing) {
    std::vector<fs::file_time_type> times;
    for (ModFile file : AllModFiles) times.push_back(fs::last_write_time(mod.path(file)));
    const Ran r = run({"set", "--dry-run", folder(), "sv.soldierFriendlyFire=40", "SCORE_KILL=5", "bot.2=Zo\u00EB"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string server = mod.path(ModFile::ServerSettings).string();
    EXPECT_NE(r.out.find("--- " + server + "\n+++ " + server +
                         "\n@@ -1,4 +1,4 @@\n rem server\n-sv.soldierFriendlyFire 75 rem keep\n"
                         "+sv.soldierFriendlyFire 40 rem keep\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("-SCORE_KILL = 2   # points\n+SCORE_KILL = 5   # points\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("+aiSettings.addBotName Zo\u00EB\n"), std::string::npos) << r.out;
    EXPECT_EQ(files(), Unchanged);
    for (ModFile file : AllModFiles)
        EXPECT_EQ(fs::last_write_time(mod.path(file)), times[static_cast<std::size_t>(file)]);
}

// Every kind of bad input: exit status 2, a message naming what was refused, nothing written.
TEST_F(CliTest, BadInputWritesNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"set", folder(), "SCORE_KILL=1", "sv.soldierFriendlyFire=101"},
         "Settings/ServerSettings.CON: sv.soldierFriendlyFire: 101 is outside its range, 0 to 100"},
        {{"set", folder(), "aiSettings.setMaxNBots=0"}, "aiSettings.setMaxNBots: 0 is outside its range, 1 to 256"},
        {{"set", folder(), "SCORE_KILL=-201"}, "SCORE_KILL: -201 is outside its range, -200 to 200"},
        {{"set", folder(), "SCORE_KILL=1e999"}, "SCORE_KILL: \"1e999\" is not a whole number"},
        {{"set", folder(), "aiSettings.setBotSkill=abc"}, "\"abc\" is not a whole number"},
        {{"set", folder(), "bot.1=Tab\tName"}, "AI/BotNames.AI: bot.1: A bot name cannot hold"},
        {{"set", folder(), "bot.1=\xE5\x90\x8D"},
         "bot.1: The bot name holds a character that the mod's files cannot store"},
        {{"set", folder(), "bot.3=Charlie"}, "bot.3: the file names 2 bots"},
        {{"set", folder(), "SCORE_SUICIDE=1"}, "SCORE_SUICIDE: the file assigns it no value"},
        {{"set", folder(), "SCORE_NOPE=1"}, "SCORE_NOPE: no setting, constant or bot has this name"},
        {{"get", folder(), "SCORE_KILL", "nope"}, "nope: no setting"},
        {{"set", folder()}, "at least one mod folder"},
        {{"set", "--frobnicate", folder(), "SCORE_KILL=1"}, "--frobnicate"},
        {{"show"}, "MOD_FOLDER is required"},
    };
    for (const auto& [args, message] : cases) {
        const Ran r = run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << args.back();
        EXPECT_EQ(files(), Unchanged) << args.back();
    }
}

// A constant whose binding the writer cannot replace is refused with the reason.
TEST_F(CliTest, ConstantThatCannotBeEditedIsRefused) {
    mod.write(ModFile::Scoring, "from qmr import *\r\nSCORE_KILL = 2\r\nSCORE_KILL += 1\r\n");
    EditorState state = mod.load();
    std::string problem;
    const auto value = findNamedValue(state, "SCORE_KILL", problem);
    ASSERT_TRUE(value);
    EXPECT_EQ(setNamedValue(state, *value, "5"),
              "cannot be edited here: its last binding changes it with an operator (+=, -= ...)");
    EXPECT_FALSE(state.ListScores()[0].Edited);
    // The game's Python 2 refuses 1_000: the value is shown as the file's text, and show
    // names the line and why.
    mod.write(ModFile::Scoring, "from qmr import *\r\nSCORE_KILL = 1_000\r\n");
    state = mod.load();
    EXPECT_EQ(namedValueText(state, *findNamedValue(state, "SCORE_KILL", problem)), "1_000");
    const std::string why = "the game's Python 2 cannot run the file: line 2: 1_000: digits grouped with _ are "
                            "Python 3 only (write 1000)";
    EXPECT_NE(run({"show", folder()}).out.find("not editable: " + why), std::string::npos);
    EXPECT_NE(run({"show", "--json", folder()}).out.find("\"" + why + "\""), std::string::npos);
}

// Each mod is written or refused on its own; a refused file is named and left as it was.
TEST_F(CliTest, SeveralModsEachSavedOrRefused) {
    TempMod game;
    fs::create_directories(game.folder() / "Mods");
    const fs::path mods = *findModsFolder(game.folder());  // as the program spells it
    for (const char* name : {"a", "b", "c"}) fs::copy(mod.folder(), mods / name, fs::copy_options::recursive);
    fs::remove(mods / "c" / "AI" / "AIDefault.AI");
    setReadOnly(mods / "b" / "Settings" / "ServerSettings.CON", true);
    const Ran r = run({"set", "--mods", game.folder().string(), "sv.soldierFriendlyFire=40", "SCORE_KILL=5"});
    setReadOnly(mods / "b" / "Settings" / "ServerSettings.CON", false);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((mods / "b").string() + ": Settings/ServerSettings.CON: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((mods / "c").string() + ": AI/AIDefault.AI: the file is missing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 mods: 1 written, 0 unchanged, 2 refused"), std::string::npos) << r.err;
    std::string written = Server;
    EXPECT_EQ(readBytes(mods / "a" / "Settings" / "ServerSettings.CON"), written.replace(written.find("75"), 2, "40"));
    EXPECT_EQ(readBytes(mods / "b" / "Settings" / "ServerSettings.CON"), Server);
    EXPECT_NE(readBytes(mods / "b" / "python" / "game" / "scoringCommon.py"), Scoring);
}

#ifdef TARSUN_CLI_PROGRAM
// A file gone between the load and the save: said, and the status is a failure. Here the
// first mod's bot names are a link to a file of the second that has a leftover's name, of
// a process that ended: the second mod's load, after the first's, clears it away.
TEST_F(CliTest, AFileGoneBeforeTheSaveFailsTheRun) {
    TempMod other;
    other.writeAll(Bots, Server, AI, Scoring);
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const fs::path leftover =
        other.path(ModFile::BotNames).parent_path() / (".BotNames.AI.tarsun-" + std::to_string(ended) + "-a1B2c3");
    writeBytes(leftover, Bots);
    fs::remove(mod.path(ModFile::BotNames));
    fs::create_symlink(leftover, mod.path(ModFile::BotNames));
    const Ran r = run({"set", folder(), other.folder().string(), "sv.soldierFriendlyFire=40"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(folder() + ": a file went missing since it was read: nothing was written"), std::string::npos)
        << r.err;
    EXPECT_EQ(mod.read(ModFile::ServerSettings), Server);
    EXPECT_NE(other.read(ModFile::ServerSettings), Server);
}
#endif

#ifdef _WIN32
// The program itself, once: a name the ANSI code page may lack reaches it whole.
TEST_F(CliTest, TheProgramTakesItsArgumentsAsUnicode) {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    const fs::path program = fs::path(self).parent_path().parent_path().parent_path() / "cli" / "tarsun-cli.exe";
    const std::wstring command =
        L"\"\"" + program.wstring() + L"\" set \"" + mod.folder().wstring() + L"\" bot.2=Zo\u00EB\"";
    EXPECT_EQ(_wsystem(command.c_str()), 0);
    EXPECT_EQ(mod.read(ModFile::BotNames),
              "rem bots\r\naiSettings.addBotName Alpha\r\naiSettings.addBotName Zo\xEB\r\n");
}
#endif

}  // namespace
