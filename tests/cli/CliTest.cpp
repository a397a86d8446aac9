// tarsun-cli as a user runs it, on real mod folders. On Linux each case starts the program
// itself; the Windows build runs the same commands in-process.

#include "CliTool.h"
#include "FileAccess.h"
#include "ModFolders.h"
#include "NamedValues.h"
#include "PythonJudge.h"
#include "SaveHistory.h"
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

// `input` is the program's standard input.
Ran run(std::vector<std::string> args, const std::string& input = "") {
#ifdef TARSUN_CLI_PROGRAM
    static const TempMod scratch;  // for the program's input and output
    const std::string out = (scratch.folder() / "std").string();
    writeBytes(out + "0", input);
    // Saves are kept in a history of the test's own.
    std::string command = "TARSUN_HISTORY_DIR='" + (scratch.folder() / "history").string() + "' " TARSUN_CLI_PROGRAM;
    for (const std::string& arg : args) {
        command += " '";
        for (char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += '\'';
    }
    const int status = std::system((command + " <'" + out + "0' >'" + out + "1' 2>'" + out + "2'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readBytes(out + "1"), readBytes(out + "2")};
#else
    static const TempMod scratch;
    _putenv_s("TARSUN_HISTORY_DIR", (scratch.folder() / "history").string().c_str());
    std::istringstream in(input);
    std::ostringstream out, err;
    args.insert(args.begin(), "tarsun-cli");
    const int status = runTool(args, in, out, err);
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
    fs::remove(ai);  // not renamed: Wine keeps the old spelling on a rename that only changes case
    writeBytes(ai.parent_path() / "aidefault.ai", AI);
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
    // A bot name alone is an edit to save too.
    EXPECT_EQ(run({"set", folder(), "bot.1=Zed"}).status, 0);
    EXPECT_EQ(mod.read(ModFile::BotNames), "rem bots\r\naiSettings.addBotName Zed\r\naiSettings.addBotName Zo\xEB\r\n");
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

// Values from a ruleset file or standard input, checked as arguments are, each message
// naming the line.
TEST_F(CliTest, RulesetsFromAFileOrStandardInput) {
    const fs::path rules = mod.folder() / "rules.txt";
    writeBytes(rules, "SCORE_KILL=5\n  nonsense\n");
    const Ran bad = run({"set", folder(), "--from", rules.string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "tarsun-cli: " + rules.string() + ":2: not NAME=VALUE: nonsense\n");
    writeBytes(rules, "# ruleset\r\n\r\n SCORE_KILL = 5 \r\n");
    const Ran twice = run({"set", folder(), "SCORE_KILL=1", "--from", rules.string()});
    EXPECT_EQ(twice.err, "tarsun-cli: " + rules.string() + ":3: SCORE_KILL: given twice (1, then 5)\n");
    const Ran refused = run({"set", folder(), "--from", "-"}, "SCORE_KILL=5\n# c\nsv.soldierFriendlyFire=300\nSCORE_KIL=1\n");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("Settings/ServerSettings.CON: standard input:3: sv.soldierFriendlyFire: 300 is outside"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find(": standard input:4: SCORE_KIL: no setting"), std::string::npos) << refused.err;
    EXPECT_EQ(files(), Unchanged);

    const Ran done = run({"set", folder(), "--from", rules.string(), "--from", "-"}, "sv.soldierFriendlyFire = 40\n");
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(run({"get", folder(), "SCORE_KILL", "sv.soldierFriendlyFire"}).out, "5\n40\n");
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
        // As an admin types them: a near name, the file's own bot skill, an empty name, a name
        // twice, an argument too long to echo whole.
        {{"set", folder(), "sv.soldierfriendlyfire=1"}, "; did you mean sv.soldierFriendlyFire?"},
        {{"get", folder(), "SCORE_KIL"}, "SCORE_KIL: no setting, constant or bot has this name; did you mean SCORE_KILL?"},
        {{"set", folder(), "aiSettings.setBotSkill=0.5"},
         "\"0.5\" is not a whole number: bot skill takes 0 to 100, as the window shows it (50 for the file's 0.5)"},
        {{"set", folder(), "bot.1="}, "AI/BotNames.AI: bot.1: a bot name cannot be empty"},
        {{"set", folder(), "SCORE_KILL=1", "SCORE_KILL=1"}, "tarsun-cli: SCORE_KILL: given twice (1, then 1)\n"},
        {{"set", folder(), "SCORE_KILL=" + std::string(100000, '9')},
         "SCORE_KILL: \"" + std::string(48, '9') + "\u2026 (100000 bytes)\" is not a whole number\n"},
        {{"set", folder()}, "at least one mod folder"},
        {{"set", "--frobnicate", folder(), "SCORE_KILL=1"}, "--frobnicate"},
        {{"show"}, "show needs at least one mod folder (or --mods)"},
    };
    for (const auto& [args, message] : cases) {
        const Ran r = run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_LT(r.err.size(), 600u);
        EXPECT_EQ(r.out, "") << args.back();
        EXPECT_EQ(files(), Unchanged) << args.back();
    }
    // A control character in a path is shown escaped: the message stays one line.
    EXPECT_EQ(run({"show", folder() + "/new\nline"}).err, "tarsun-cli: " + folder() + "/new\\nline: no such folder\n");
}

// A constant whose binding the writer cannot replace is refused with the reason.
TEST_F(CliTest, ConstantThatCannotBeEditedIsRefused) {
    mod.write(ModFile::Scoring, "from qmr import *\r\nSCORE_KILL = 2\r\nSCORE_KILL += 1\r\n");
    EditorState state = mod.load();
    const auto value = findNamedValue(state, "SCORE_KILL");
    ASSERT_TRUE(value);
    const Expected<void> set = setNamedValue(state, *value, "5");
    ASSERT_FALSE(set);
    EXPECT_EQ(set.reason(), "cannot be edited here: its last binding changes it with an operator (+=, -= ...)");
    EXPECT_FALSE(state.ListScores()[0].Edited);
    // The game's Python 2 refuses 1_000: the value is shown as the file's text, and show
    // names the line and why.
    mod.write(ModFile::Scoring, "from qmr import *\r\nSCORE_KILL = 1_000\r\n");
    state = mod.load();
    EXPECT_EQ(namedValueText(state, *findNamedValue(state, "SCORE_KILL")), "1_000");
    const std::string why = "the game's Python 2 cannot run the file: line 2: 1_000: digits grouped with _ are "
                            "Python 3 only (write 1000)";
    EXPECT_NE(run({"show", folder()}).out.find("not editable: " + why), std::string::npos);
    EXPECT_NE(run({"show", "--json", folder()}).out.find("\"" + why + "\""), std::string::npos);
}

// Each mod is saved whole or refused whole: every file it would write is checked first.
// One that cannot be loaded stops the whole set, unless --keep-going skips it.
TEST_F(CliTest, SeveralModsEachSavedWholeOrRefused) {
    TempMod game;
    fs::create_directories(game.folder() / "Mods");
    const fs::path mods = *modsFolderIn(game.folder());  // as the program spells it
    for (const char* name : {"a", "b", "c"}) fs::copy(mod.folder(), mods / name, fs::copy_options::recursive);
    fs::remove(mods / "c" / "AI" / "AIDefault.AI");
    fs::create_directories(mods / "plain" / "AI");
    writeBytes(mods / "readme.txt", "not a mod");
    setReadOnly(mods / "b" / "Settings" / "ServerSettings.CON", true);
    const std::vector<std::string> values{"sv.soldierFriendlyFire=40", "SCORE_KILL=5"};
    auto set = [&](std::vector<std::string> flags) {
        flags.insert(flags.begin(), {"set", "--mods", game.folder().string()});
        flags.insert(flags.end(), values.begin(), values.end());
        return run(flags);
    };
    auto untouched = [&](const char* name) {
        return readBytes(mods / name / "Settings" / "ServerSettings.CON") == Server &&
               readBytes(mods / name / "python" / "game" / "scoringCommon.py") == Scoring;
    };
    auto says = [](const Ran& r, const std::string& what) { return r.err.find(what) != std::string::npos; };
    const std::string b = (mods / "b").string(), c = (mods / "c").string(), plain = (mods / "plain").string();

    const Ran stopped = set({});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_TRUE(says(stopped, c + ": AI/AIDefault.AI: the file is missing")) << stopped.err;
    EXPECT_TRUE(says(stopped, plain + ": not a mod folder: none of its four settings files is there\n"));
    EXPECT_EQ(std::count(stopped.err.begin(), stopped.err.end(), '\n'), 4) << stopped.err;  // one line for plain
    EXPECT_TRUE(says(stopped, (mods / "readme.txt").string() + ": skipped: a file, not a mod folder"));
    EXPECT_TRUE(says(stopped, "a mod could not be loaded: nothing was written (--keep-going skips such mods)"));
    EXPECT_TRUE(untouched("a") && untouched("b"));

    const Ran dry = set({"--dry-run", "--keep-going"});
    EXPECT_EQ(dry.status, 1);
    EXPECT_TRUE(says(dry, b + ": Settings/ServerSettings.CON: the file is read-only\ntarsun-cli: " + b +
                              ": refused: nothing of it was written\n"))
        << dry.err;
    EXPECT_TRUE(says(dry, "4 mods: 1 to write, 0 unchanged, 1 refused, 2 skipped"));
    EXPECT_EQ(dry.out.find(b), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find((mods / "a").string()), std::string::npos);
    EXPECT_TRUE(untouched("a") && untouched("b"));

    const Ran quiet = set({"--dry-run", "--keep-going", "--quiet"});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.err.find("skipped"), std::string::npos) << quiet.err;
    EXPECT_TRUE(says(quiet, b + ": refused: nothing of it was written\n") && !says(quiet, "4 mods"));

    const Ran going = set({"--keep-going"});
    setReadOnly(mods / "b" / "Settings" / "ServerSettings.CON", false);
    EXPECT_EQ(going.status, 1);
    const std::size_t summary = dry.err.find("4 mods:");
    EXPECT_EQ(going.err.substr(0, going.err.find("4 mods:")), dry.err.substr(0, summary));
    EXPECT_TRUE(says(going, "4 mods: 1 written, 0 unchanged, 1 refused, 2 skipped"));
    std::string written = Server;
    EXPECT_EQ(readBytes(mods / "a" / "Settings" / "ServerSettings.CON"), written.replace(written.find("75"), 2, "40"));
    EXPECT_TRUE(untouched("b"));  // its scoring file too, though that one could be written
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

// show, get and set across mods; JSON one object a line for each mod.
TEST_F(CliTest, ReadsAndReportsAcrossMods) {
    TempMod game;
    const fs::path mods = game.folder() / "mods";
    fs::create_directories(mods / "plain");
    for (const char* name : {"a", "b", "c"}) fs::copy(mod.folder(), mods / name, fs::copy_options::recursive);
    writeBytes(mods / "c" / "python" / "game" / "scoringCommon.py", "from qmr import *\r\nSCORE_KILL = 5\r\n");
    const std::string a = (mods / "a").string(), b = (mods / "b").string(), c = (mods / "c").string();
    auto lines = [](const std::string& out) {
        std::vector<nlohmann::json> parsed;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) parsed.push_back(nlohmann::json::parse(line));
        return parsed;
    };

    const Ran shown = run({"show", "--mods", game.folder().string(), "--json"});
    EXPECT_EQ(shown.status, 1);  // plain is no mod
    const auto objects = lines(shown.out);
    ASSERT_EQ(objects.size(), 3u) << shown.out;
    EXPECT_EQ(objects[1]["mod"], b);
    EXPECT_EQ(objects[2]["constants"][0]["value"], 5);

    const Ran got = run({"get", "--mods", game.folder().string(), "--json", "SCORE_KILL", "bot.2", "SCORE_TEAMKILL"});
    EXPECT_EQ(got.status, 2);  // c assigns SCORE_TEAMKILL no value
    ASSERT_EQ(lines(got.out).size(), 3u) << got.out;
    EXPECT_EQ(lines(got.out)[2], nlohmann::json::parse(R"({"mod": )" + nlohmann::json(c).dump() + R"(, "values": {"SCORE_KILL": 5,
        "bot.2": "Bravo", "SCORE_TEAMKILL": null}})"))
        << got.out;
    const Ran table = run({"get", "-m", a, "--mod", b, "SCORE_TEAMKILL", "bot.1"});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out, a + "\t2 * 3\tAlpha\n" + b + "\t2 * 3\tAlpha\n");

    setReadOnly(mods / "b" / "python" / "game" / "scoringCommon.py", true);
    const Ran set = run({"set", "--json", a, b, c, "SCORE_KILL=5", "sv.soldierFriendlyFire=75"});
    setReadOnly(mods / "b" / "python" / "game" / "scoringCommon.py", false);
    EXPECT_EQ(set.status, 1);
    const auto outcomes = lines(set.out);
    ASSERT_EQ(outcomes.size(), 3u) << set.out;
    EXPECT_EQ(outcomes[0], nlohmann::json::parse(R"({"mod": )" + nlohmann::json(a).dump() + R"(, "outcome": "written", "problems": [],
        "changes": [{"name": "SCORE_KILL", "file": "python/game/scoringCommon.py", "old": 2, "new": 5}],
        "written": ["python/game/scoringCommon.py"]})"));
    EXPECT_EQ(outcomes[1]["outcome"], "refused");
    EXPECT_EQ(outcomes[1]["problems"], nlohmann::json::parse(R"([{"file": "python/game/scoringCommon.py",
        "reason": "the file is read-only"}, {"file": null, "reason": "refused: nothing of it was written"}])"));
    EXPECT_EQ(outcomes[1]["written"], nlohmann::json::array());
    EXPECT_EQ(outcomes[2]["outcome"], "unchanged");
}

// A set over many mods undone: each mod's files put back, another program's later change
// merged where it keeps clear of the save's lines, and a mod whose saved line it changed
// refused whole.
TEST_F(CliTest, SetOverManyModsUndone) {
    TempMod game;
    const fs::path mods = game.folder() / "mods";
    auto modDir = [&](int m) { return mods / ("m" + std::to_string(m)); };
    auto modFile = [&](int m, const char* below) { return modDir(m) / below; };
    fs::create_directories(mods);
    for (int m = 0; m < 12; ++m) fs::copy(mod.folder(), mods / ("m" + std::to_string(m)), fs::copy_options::recursive);
    const Ran set = run({"set", "--mods", game.folder().string(), "sv.soldierFriendlyFire=40", "SCORE_KILL=5"});
    ASSERT_EQ(set.status, 0) << set.err;
    const Ran listed = run({"history", modDir(0).string()});
    EXPECT_EQ(listed.out.substr(0, 3), "1  ");
    EXPECT_EQ(listed.out.substr(26), "  Settings/ServerSettings.CON, python/game/scoringCommon.py\n"
                                     "    sv.soldierFriendlyFire 75 -> 40\n    SCORE_KILL 2 -> 5\n")
        << listed.out;
    writeBytes(modFile(3, "Settings/ServerSettings.CON"),
               readBytes(modFile(3, "Settings/ServerSettings.CON")) + "sv.maxPlayers 32\r\n");
    const std::string theirs = "# scoring\r\nfrom qmr import *\r\nSCORE_KILL = 6   # points\r\n";
    writeBytes(modFile(4, "python/game/scoringCommon.py"), theirs);

    const Ran undone = run({"undo", "--mods", game.folder().string()});
    EXPECT_EQ(undone.status, 1);
    EXPECT_NE(undone.err.find(modDir(4).string() + ": python/game/scoringCommon.py: another program changed it"),
              std::string::npos)
        << undone.err;
    EXPECT_NE(undone.err.find(modDir(4).string() + ": the undo of save 1 was refused: nothing was written"),
              std::string::npos);
    EXPECT_NE(undone.out.find(modDir(0).string() + ": Settings/ServerSettings.CON: restored as before save 1\n"),
              std::string::npos)
        << undone.out;
    for (int m = 0; m < 12; ++m) {
        if (m == 4) continue;
        EXPECT_EQ(readBytes(modFile(m, "Settings/ServerSettings.CON")), Server + (m == 3 ? "sv.maxPlayers 32\r\n" : ""));
        EXPECT_EQ(readBytes(modFile(m, "python/game/scoringCommon.py")), Scoring) << m;
    }
    EXPECT_EQ(readBytes(modFile(4, "python/game/scoringCommon.py")), theirs);
    EXPECT_NE(readBytes(modFile(4, "Settings/ServerSettings.CON")), Server);
    // The undo is a save of its own, and there is no save 9.
    EXPECT_NE(run({"history", modDir(0).string()}).out.find("\n2  "), std::string::npos);
    const Ran none = run({"undo", modDir(0).string(), "9"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no save 9 is kept (tarsun-cli history lists the saves)"), std::string::npos);
}

// The history keeps the newest saves of a mod and lets the older go, and a save cut off
// part way (the program stopped while keeping it) is passed over and written over.
TEST(SaveHistory, KeepsTheNewestSavesAndPassesOverOneCutOff) {
    const TempMod history, mod;
    mod.write(ModFile::BotNames, "a");
    auto save = [&](std::size_t n) {
        SaveRecorder recorder(mod.folder());
        const std::string before = "v" + std::to_string(n);
        const std::string_view view = before;
        recorder.wrap([](const ReplaceRequest&) { return ReplaceResult{ReplaceResult::Written, {}, {}, {}}; })(
            {mod.path(ModFile::BotNames), {}, FileContent(&view, 1), FileContent(&view, 1)});
        const Expected<void> kept = recorder.commit(history.folder());
        ASSERT_TRUE(kept) << kept.reason();
    };
    const std::size_t saves = HistorySaves + HistorySaves / 5 + 1;
    for (std::size_t n = 0; n < saves; ++n) save(n);
    std::vector<SavedRecord> kept = savedRecords(history.folder(), mod.folder(), true);
    ASSERT_EQ(kept.size(), HistorySaves);
    EXPECT_EQ(kept.front().number, saves - HistorySaves + 1);
    EXPECT_EQ(kept.back().files.at(0).before, "v" + std::to_string(saves - 1));
    EXPECT_EQ(kept.back().files.at(0).name, "AI/BotNames.AI");
    // What the history holds on disk is bounded too.
    ASSERT_EQ(filesIn(history.folder()), 1u);
    const fs::path log = fs::directory_iterator(history.folder())->path();
    std::string text = readBytes(log);
    std::size_t marks = 0;
    for (std::size_t at = text.find("tarsun-save "); at != std::string::npos; at = text.find("tarsun-save ", at + 1))
        ++marks;
    EXPECT_LE(marks, HistorySaves + HistorySaves / 5);

    // Cut off longer than the next save: nothing of it may be left after that save.
    writeBytes(log, text + "tarsun-save " + std::to_string(saves + 1) + " 0 9000\nmod 3\n" + std::string(2000, 'x'));
    save(saves);
    EXPECT_TRUE(readBytes(log).ends_with("v" + std::to_string(saves) + "\n\n"));
    kept = savedRecords(history.folder(), mod.folder(), true);
    ASSERT_EQ(kept.size(), HistorySaves);
    EXPECT_EQ(kept.back().number, saves + 1);
    EXPECT_EQ(kept.back().files.at(0).before, "v" + std::to_string(saves));
}

#ifdef TARSUN_CLI_PROGRAM
// The manual page and the completion know every option the help lists, and the page is of
// the program's version.
TEST(CliDocs, ManualAndCompletionFollowTheHelp) {
    const std::string manual = readBytes(fs::path(TARSUN_CLI_SOURCE) / "tarsun-cli.1");
    const std::string completion = readBytes(fs::path(TARSUN_CLI_SOURCE) / "tarsun-cli.bash");
    const Ran version = run({"--version"});
    ASSERT_EQ(version.status, 0);
    ASSERT_TRUE(version.out.starts_with("tarsun-cli ") && version.out.ends_with("\n")) << version.out;
    EXPECT_NE(manual.find("\"Tarsun Editor " + version.out.substr(11, version.out.size() - 12) + "\""), std::string::npos)
        << version.out;
    std::size_t options = 0;
    for (const char* command : {"--help", "show --help", "get --help", "set --help", "history --help", "undo --help"}) {
        std::vector<std::string> args;
        std::istringstream words(command);
        for (std::string word; words >> word;) args.push_back(word);
        const Ran help = run(args);
        ASSERT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("Exit status: 0 done; 1 "), std::string::npos);
        for (std::size_t at = help.out.find("--"); at != std::string::npos; at = help.out.find("--", at + 2)) {
            const std::string option =
                help.out.substr(at, help.out.find_first_not_of("-abcdefghijklmnopqrstuvwxyz", at) - at);
            if (option == "--help" || (help.out[at - 1] != ' ' && help.out[at - 1] != ',')) continue;
            ++options;
            std::string roff = option;
            for (std::size_t dash = roff.find('-'); dash != std::string::npos; dash = roff.find('-', dash + 2))
                roff.insert(dash, "\\");
            EXPECT_NE(manual.find(roff), std::string::npos) << option << " not in the manual page";
            EXPECT_NE(completion.find(option), std::string::npos) << option << " not in the completion";
        }
    }
    EXPECT_GE(options, 6u);
}
#endif

#ifdef TARSUN_CLI_PROGRAM
// Entries of the mods folder that are no folder are each named, and a folder whose files
// could be replaced but not created anew beside them refuses the mod.
TEST_F(CliTest, OddEntriesNamedAndFoldersChecked) {
    TempMod game;
    const fs::path mods = game.folder() / "mods";
    fs::create_directories(mods);
    fs::copy(mod.folder(), mods / "a", fs::copy_options::recursive);
    fs::create_symlink("loop", mods / "loop");
    ASSERT_EQ(std::system(("mkfifo '" + (mods / "pipe").string() + "'").c_str()), 0);
    fs::permissions(mods / "a" / "AI", fs::perms(0555));
    const Ran r = run({"set", "--mods", game.folder().string(), "aiSettings.setMaxNBots=30", "SCORE_KILL=5"});
    fs::permissions(mods / "a" / "AI", fs::perms(0755));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarsun-cli: " + (mods / "loop").string() + ": skipped: a link that leads nowhere, or round in a loop\n" +
                         "tarsun-cli: " + (mods / "pipe").string() + ": skipped: a named pipe, not a mod folder\n" +
                         "tarsun-cli: " + (mods / "a").string() + ": AI/AIDefault.AI: its folder is read-only\n" +
                         "tarsun-cli: " + (mods / "a").string() + ": refused: nothing of it was written\n");
    EXPECT_EQ(readBytes(mods / "a" / "AI" / "AIDefault.AI"), AI);
    EXPECT_EQ(readBytes(mods / "a" / "python" / "game" / "scoringCommon.py"), Scoring);
}

// Output that cannot be written is exit status 3 with a message, never a quiet success.
TEST_F(CliTest, OutputThatCannotBeWrittenIsAnError) {
    std::string bots;
    for (int i = 0; i < 20000; ++i) bots += "aiSettings.addBotName Bot" + std::to_string(i) + "\r\n";
    mod.write(ModFile::BotNames, bots);  // output beyond what a pipe holds
    const std::string program = std::string(TARSUN_CLI_PROGRAM) + " ", at = " '" + folder() + "'";
    const std::string status = (mod.folder() / "status").string(), err = (mod.folder() / "err").string();
    auto recorded = [&](const std::string& command) {
        return "{ " + command + " 2>'" + err + "'; echo $? >'" + status + "'; }";
    };
    const std::vector<std::string> commands{
        recorded(program + "show --json" + at + " >/dev/full"),
        recorded(program + "get" + at + " SCORE_KILL >/dev/full"),
        recorded(program + "set --dry-run" + at + " SCORE_KILL=4 >/dev/full"),
        recorded(program + "--help >/dev/full"),
        recorded(program + "show" + at + " >&-"),
        "(trap '' PIPE; " + recorded(program + "show --json" + at) + ") | head -c 100 >/dev/null",
    };
    for (const std::string& command : commands) {
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(readBytes(status), "3\n") << command;
        EXPECT_NE(readBytes(err).find("tarsun-cli: standard output could not be written: "), std::string::npos)
            << command << ": " << readBytes(err);
    }
    EXPECT_EQ(files()[3], Scoring);
    // Standard error itself: nothing can be said, but the status tells.
    EXPECT_EQ(WEXITSTATUS(std::system((program + "show /nowhere 2>/dev/full").c_str())), 3);
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
