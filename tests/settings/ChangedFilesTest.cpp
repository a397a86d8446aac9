// Files that another program changes while the editor has them open, links that are
// pointed elsewhere, who may write a file, and what an interrupted or killed save leaves behind.

#include "FileSystem.h"
#include "LineMerge.h"
#include "ModFiles.h"
#include "ModWriter.h"
#include "TempMod.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#endif
#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();  // AddressSanitizer's count of live heap bytes
#endif

using namespace tarsun;
using namespace tarsun::testing;
namespace fs = std::filesystem;

namespace {

// The system's own file calls with a test's script in front: what another program does at
// a save's narrowest moments, a swap that fails, a coarse clock. Every call the script
// leaves alone goes to the system.
class ScriptedFileSystem : public FileSystem {
    using Path = std::filesystem::path;

public:
    // Runs before each swap (the replace's and each put-back), with the swap's number from 0;
    // the other two stand in for the system's calls where set.
    std::function<void(int n, const Path& target)> beforeSwap;
    std::function<int(const Path& target, const Path& incoming, const Path& outgoing)> swapInstead;
    std::function<int(const Path& from, const Path& to)> moveInstead;
    mutable int swaps = 0;
    // Runs before the old file is opened for each try of a replace, numbered from 0.
    std::function<void(int n)> beforeOpenOld;
    mutable int opens = 0;
    // Runs before every call of the system and every look at an opened file's stamp, with
    // the call's number from 0: another program may act at any step of a replace.
    std::function<void(int n)> beforeStep;
    mutable int steps = 0;
    // A clock as FAT keeps it: file times in whole two seconds, and `now` where set.
    bool coarseTimes = false;
    std::function<std::int64_t()> nowInstead;

    std::int64_t now() const override { return nowInstead ? nowInstead() : system_.now(); }
    std::string errorText(int error) const override { return system_.errorText(error); }
    int lastError() const override { return system_.lastError(); }
    Expected<std::unique_ptr<OpenedFile>> openToRead(const Path& path) const override {
        step();
        return scripted(system_.openToRead(path));
    }
    Expected<std::unique_ptr<OpenedFile>> openOld(const Path& target) const override {
        step();
        if (beforeOpenOld) beforeOpenOld(opens);
        ++opens;
        return scripted(system_.openOld(target));
    }
    Expected<TempFile> writeBeside(const Path& target, const OpenedFile* old, FileContent content) const override {
        step();
        // The system's own file, which it takes the access from.
        const auto* inner = dynamic_cast<const ScriptedFile*>(old);
        return system_.writeBeside(target, inner ? inner->file.get() : old, content);
    }
    Expected<void> canWriteBeside(const Path& target) const override { return system_.canWriteBeside(target); }
    Path swappedOutName(const TempFile& temp) const override { return system_.swappedOutName(temp); }
    int swap(const Path& target, const Path& incoming, const Path& outgoing) const override {
        step();
        const int n = swaps++;
        if (beforeSwap) beforeSwap(n, target);
        return swapInstead ? swapInstead(target, incoming, outgoing) : system_.swap(target, incoming, outgoing);
    }
    int move(const Path& from, const Path& to) const override {
        step();
        return moveInstead ? moveInstead(from, to) : system_.move(from, to);
    }
    bool remove(const Path& path) const override { return step(), system_.remove(path); }
    void settle(const Path& target) const override { system_.settle(target); }
    std::optional<FileId> idAt(const Path& path) const override { return step(), system_.idAt(path); }
    std::optional<Path> whereItLeads(const Path& path) const override { return step(), system_.whereItLeads(path); }
    bool exists(const Path& path) const override { return system_.exists(path); }
    bool isFileOrDevice(const Path& path) const override { return system_.isFileOrDevice(path); }
    bool isFolder(const Path& path) const override { return system_.isFolder(path); }
    std::optional<std::vector<FolderEntry>> list(const Path& folder) const override { return system_.list(folder); }
    unsigned long processId() const override { return system_.processId(); }
    bool processRuns(unsigned long pid) const override { return system_.processRuns(pid); }
    std::optional<unsigned long> temporaryOwner(std::string_view name, std::string_view file) const override {
        return system_.temporaryOwner(name, file);
    }

private:
    void step() const {
        if (beforeStep) beforeStep(steps);
        ++steps;
    }
    // An opened file whose stamp is a step, and is kept in whole two seconds where asked.
    struct ScriptedFile : OpenedFile {
        std::unique_ptr<OpenedFile> file;
        const ScriptedFileSystem& system;
        ScriptedFile(std::unique_ptr<OpenedFile> f, const ScriptedFileSystem& s) : file(std::move(f)), system(s) {}
        FileStamp stamp() const override {
            system.step();
            FileStamp stamp = file->stamp();
            if (system.coarseTimes) stamp.modified = stamp.changed = stamp.modified / 2'000'000'000 * 2'000'000'000;
            return stamp;
        }
        long long readAt(std::uint64_t offset, char* buffer, std::size_t n) const override {
            return file->readAt(offset, buffer, n);
        }
        void releaseForSwap() override { file->releaseForSwap(); }
    };
    Expected<std::unique_ptr<OpenedFile>> scripted(Expected<std::unique_ptr<OpenedFile>> file) const {
        if (!file) return file;
        return std::unique_ptr<OpenedFile>(std::make_unique<ScriptedFile>(std::move(*file), *this));
    }

    const FileSystem& system_ = systemFileSystem();
};

const char* const Bots =
    "aiSettings.addBotName Alpha\r\naiSettings.addBotName Bravo\r\naiSettings.addBotName Charlie\r\n";
// The edited constant's value runs over two lines.
const char* const Scoring = "from qmr import *\r\nSCORE_KILL = 2\r\nSCORE_TEAMKILL = (-4 +\r\n  0)  # two\r\n";

// The server settings file, named so and with this friendly fire.
std::string server(const std::string& name, int ff, const std::string& more = "") {
    return "sv.serverName " + name + "\r\nsv.soldierFriendlyFire " + std::to_string(ff) +
           "   # keep me\r\nsv.maxPlayers 16\r\n" + more;
}

// A mod whose three files the user has edited: a bot name, a friendly-fire value, a constant.
struct EditedMod {
    TempMod mod;
    EditorState state;
    EditedMod() {
        mod.writeAll(Bots, server("x", 75), "aiSettings.setBotSkill 0.7 ; extra\r\n", Scoring);
        state = mod.load();
        state.setBotName(0, "Zulu");
        state.setSetting(Setting::SoldierFF, 50);
        state.setSetting(Setting::BotSkill, 40);
        state.setScoreValue(1, 9);
    }
};

// A save of these groups with the system's calls behind a test's script.
SaveResult saveThrough(EditorState& state, SaveGroups groups, const ScriptedFileSystem& system) {
    return SaveModSettings(state, groups, system);
}

TEST(ChangedFiles, EditsAreCarriedOverToWhatAnotherProgramWrote) {
    EditedMod m;
    // Another program changes lines the user did not edit, adds one, shortens the bot list
    // and changes line ends: lines are matched without them.
    m.mod.write(ModFile::ServerSettings, server("y", 75, "sv.new 1"));
    m.mod.write(ModFile::BotNames, "aiSettings.addBotName Alpha\naiSettings.addBotName Bravo\n");
    m.mod.write(ModFile::Scoring,
                "from qmr import *\nSCORE_KILL = 3\nSCORE_TEAMKILL = (-4 +\n  0)  # two\nSCORE_HEAL = 1\n");
    ASSERT_TRUE(SaveModSettings(m.state, {}).done());

    EXPECT_EQ(m.mod.read(ModFile::ServerSettings), server("y", 50, "sv.new 1"));
    EXPECT_EQ(m.mod.read(ModFile::BotNames), "aiSettings.addBotName Zulu\naiSettings.addBotName Bravo\n");
    EXPECT_EQ(m.mod.read(ModFile::Scoring),
              "from qmr import *\nSCORE_KILL = 3\nSCORE_TEAMKILL = 9  # two\nSCORE_HEAL = 1\n");
    EXPECT_EQ(m.mod.read(ModFile::AIDefaults), "aiSettings.setBotSkill 0.4 ; extra\r\n");
    // The editor now shows the files as they are, and the next save starts from them.
    EXPECT_EQ(m.state.botCount(), 2u);
    EXPECT_EQ(m.state.ScoreValues[0], 3);
    EXPECT_EQ(m.state.ListScores().size(), 3u);
    m.state.setSetting(Setting::SoldierFF, 40);
    ASSERT_TRUE(SaveModSettings(m.state, {}).done());
    EXPECT_EQ(m.mod.read(ModFile::ServerSettings), server("y", 40, "sv.new 1"));
}

TEST(ChangedFiles, AFileWhoseEditedLinesAnotherProgramChangedIsLeftAsItWroteIt) {
    EditedMod m;
    m.state.setSetting(Setting::MaxBots, 20);  // the file has no line for it
    const std::string server = "sv.soldierFriendlyFire 60\r\nsv.maxPlayers 16\r\n";
    std::string bots;  // the edited name after more new lines than the merge matches lines over
    for (int i = 0; i < 2001; ++i) bots += "aiSettings.addBotName New" + std::to_string(i) + "\r\n";
    bots += "aiSettings.addBotName Alpha\r\naiSettings.addBotName Bravo\r\n";
    // The other program adds a line of its own for the same setting: a conflict.
    const std::string ai = "aiSettings.setBotSkill 0.7 ; extra\r\naiSettings.setMaxNBots 30\r\n";
    // The constant is set again further down: the user's 9 would no longer hold.
    const std::string scoring = std::string(Scoring) + "SCORE_TEAMKILL = -5\r\n";
    m.mod.writeAll(bots, server, ai, scoring);

    SaveResult result = SaveModSettings(m.state, {});
    ASSERT_EQ(result.failures.size(), 4u);
    const char* const why[] = {"too widely to carry your edits over", "in a line you edited",
                               "and added a line of its own for a setting you edited",
                               "and set a value you edited again"};
    for (const auto& failure : result.failures) {
        EXPECT_TRUE(failure.changedElsewhere) << modFileDisplayName(failure.file);
        EXPECT_EQ(failure.reason, std::string("another program changed it since it was loaded, ") +
                                      why[static_cast<std::size_t>(failure.file)]);
    }
    EXPECT_EQ(m.mod.read(ModFile::ServerSettings), server);
    EXPECT_EQ(m.mod.read(ModFile::BotNames), bots);
    EXPECT_EQ(m.mod.read(ModFile::AIDefaults), ai);
    EXPECT_EQ(m.mod.read(ModFile::Scoring), scoring);
    // Nothing the user did is lost.
    EXPECT_EQ(m.state.setting(Setting::SoldierFF), 50);
    EXPECT_EQ(m.state.setting(Setting::MaxBots), 20);
    EXPECT_EQ(m.state.botName(0), "Zulu");
    EXPECT_EQ(m.state.ScoreValues[1], 9);

    // Judged before a save, each file gives the same refusal. Taken as the other program
    // left it, each keeps the edits it did not touch (the bot skill), which the next save writes.
    using Names = std::vector<std::string>;
    const Names theirs[] = {{"bot name 1"}, {"sv.soldierFriendlyFire"}, {"aiSettings.setMaxNBots"}, {"SCORE_TEAMKILL"}};
    for (ModFile file : AllModFiles) {
        const ChangedFileOutlook outlook = judgeChangedFile(m.state, file, m.mod.read(file));
        EXPECT_TRUE(outlook.edits && !outlook.merges);
        EXPECT_EQ(outlook.refusal, why[static_cast<std::size_t>(file)]);
        EXPECT_EQ(m.state.takeChangedFile(file, *readModFile(m.mod.path(file))), theirs[static_cast<std::size_t>(file)]);
    }
    EXPECT_EQ(m.state.setting(Setting::MaxBots), 30);
    EXPECT_TRUE(SaveModSettings(m.state, {}).done());
    EXPECT_EQ(m.mod.read(ModFile::AIDefaults), "aiSettings.setBotSkill 0.4 ; extra\r\naiSettings.setMaxNBots 30\r\n");
    EXPECT_EQ(m.mod.read(ModFile::Scoring), scoring);
}

// A file being rewritten in place, read half-written, is read again before a refusal.
TEST(ChangedFiles, AHalfWrittenFileIsReadAgain) {
    EditedMod m;
    const std::string theirs = server("y", 75, "sv.new 1\r\n");
    ScriptedFileSystem system;
    system.beforeOpenOld = [&](int n) {
        writeBytes(m.mod.path(ModFile::ServerSettings), n == 0 ? theirs.substr(0, 30) : theirs);
    };
    SaveResult result = saveThrough(m.state, {true, false, false, false}, system);
    EXPECT_TRUE(result.done()) << (result.failures.empty() ? "" : result.failures[0].reason);
    EXPECT_EQ(m.mod.read(ModFile::ServerSettings), server("y", 50, "sv.new 1\r\n"));
}

// Another program writing at one step of a replace, or at two: by renaming a new file over
// the name, or in place into whatever file then stands at it. Each step of a plain save is
// a window; the steps are numbered as the replace makes its calls, retries included.
enum class Writer { Rename, InPlace };
struct Window {
    std::vector<std::pair<int, Writer>> writes;  // at which step, how
};
// How many steps a save of one file takes when nobody else writes, and when another
// program makes it put a file back and start again.
constexpr int PlainSaveSteps = 12;
constexpr int SwapStep = 6;  // the save's own swap
constexpr int PutBackSaveSteps = 32;

std::vector<Window> replaceWindows() {
    std::vector<Window> windows;
    for (int i = 0; i < PlainSaveSteps; ++i) {
        for (Writer first : {Writer::Rename, Writer::InPlace}) {
            windows.push_back({{{i, first}}});
            // A later write in place, into the file the first one left at the name or into
            // the editor's own just swapped in, at any later step of the same save.
            for (int j = i + 1; j < PutBackSaveSteps; ++j) windows.push_back({{{i, first}, {j, Writer::InPlace}}});
            // Where the first makes the save put a file back (just before the exchange), two
            // more in place: into the editor's file before the put-back, and a moment later.
            for (int j = i + 1; (i == SwapStep - 1 || i == SwapStep) && j <= i + 8; ++j)
                for (int k = j + 1; k <= j + 4; ++k)
                    windows.push_back({{{i, first}, {j, Writer::InPlace}, {k, Writer::InPlace}}});
        }
    }
    return windows;
}

std::string windowName(const Window& window) {
    std::string name;
    for (const auto& [at, how] : window.writes)
        name += (name.empty() ? "" : "_then_") + std::string(how == Writer::Rename ? "Rename" : "InPlace") + "At" +
                std::to_string(at);
    return name;
}

// Whatever the window, the other program's last write stays at the name, with the user's
// edit carried over to it or refused, never lost; and nothing of the save is left beside it.
// False when the save ended before the window's last write.
bool saveAcrossWindow(const Window& window, int& refusals) {
    EditedMod m;
    const fs::path path = m.mod.path(ModFile::ServerSettings);
    std::string last = server("x", 75);  // as loaded, until a write lands
    std::size_t done = 0;
    int lastWriteAt = -1, lastSwapAt = -1;
    ScriptedFileSystem system;
    system.beforeSwap = [&](int n, const fs::path& target) {
        lastSwapAt = system.steps - 1;
        // Until it is in place, the editor's file stays out of the player's sight (a put-back
        // on Windows names the file it takes out as ReplaceFileW's backup).
        for (const fs::path& temporary : n == 0 ? temporariesBeside(target) : std::vector<fs::path>{}) {
#ifdef _WIN32
            EXPECT_TRUE(GetFileAttributesW(temporary.c_str()) & FILE_ATTRIBUTE_HIDDEN) << temporary;
#else
            EXPECT_EQ(temporary.filename().string()[0], '.') << temporary;
#endif
        }
    };
    system.beforeStep = [&](int n) {
        for (std::size_t w = 0; w < window.writes.size(); ++w) {
            const auto& [at, how] = window.writes[w];
            if (at != n) continue;
            const std::string theirs = server("x", 75, "sv.other" + std::to_string(w) + " " + std::to_string(n) + "\r\n");
            ++done;
            // Windows refuses a rename over a file the editor holds open, and a write into a
            // file it holds without sharing: that program's save fails, and nothing of it lands.
            std::error_code refused;
            if (how == Writer::Rename) {
                writeBytes(path.string() + ".theirs", theirs);
                fs::rename(path.string() + ".theirs", path, refused);
                if (refused) fs::remove(path.string() + ".theirs");
            } else {
                std::ofstream in(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
                if (!(in << theirs).flush()) refused = std::make_error_code(std::errc::permission_denied);
            }
            if (refused) {
                ++refusals;
                continue;
            }
            last = theirs;
            lastWriteAt = n;
        }
    };
    const SaveResult result = saveThrough(m.state, {true, false, false, false}, system);
    // The first write always comes in time; a later one may come after the save.
    if (done < window.writes.size()) {
        EXPECT_GE(done, 1u) << "fewer steps than PlainSaveSteps: " << system.steps;
        return false;
    }
    std::string merged = last;
    merged.replace(merged.find(" 75 "), 4, " 50 ");
    if (result.done()) {
        // Written over after the save put its file in place: a later save of that program.
        EXPECT_EQ(m.mod.read(ModFile::ServerSettings), lastWriteAt > lastSwapAt ? last : merged);
    } else {
        EXPECT_EQ(result.failures.size(), 1u);
        EXPECT_TRUE(result.failures[0].changedElsewhere) << result.failures[0].reason;
        EXPECT_EQ(m.mod.read(ModFile::ServerSettings), last);
        EXPECT_EQ(m.state.setting(Setting::SoldierFF), 50);
    }
    std::vector<std::string> beside;
    for (const auto& entry : fs::directory_iterator(path.parent_path())) beside.push_back(entry.path().filename().string());
    EXPECT_EQ(beside, std::vector<std::string>{path.filename().string()});
    return true;
}

TEST(ReplaceGrid, AnotherProgramsLastWriteInAnyWindowStaysAndTheEditIsMergedOrRefused) {
    int reached = 0, refusals = 0;
    const std::vector<Window> windows = replaceWindows();
    for (const Window& window : windows) {
        SCOPED_TRACE(windowName(window));
        reached += saveAcrossWindow(window, refusals);
    }
    std::printf("%d of %zu windows within a save; %d writes refused by the system\n", reached, windows.size(),
                refusals);
#ifndef _WIN32
    EXPECT_EQ(refusals, 0);  // nothing here stops another program's write
#endif
}

// What a stamp cannot tell: a change within the same tick of a coarse clock (FAT keeps two
// seconds), and a file renamed in that kept the old one's size and time (as rsync -t does).
TEST(ChangedFiles, WhereTheStampCannotTellTheBytesOrTheFileDo) {
    TempMod mod;
    const fs::path path = mod.path(ModFile::ServerSettings);
    auto time = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()) - std::chrono::seconds(10);
    time -= std::chrono::seconds(time.time_since_epoch().count() % 2);  // on a tick
    auto writeAt = [&](const fs::path& to, std::string_view bytes) {
        writeBytes(to, bytes);
        fs::last_write_time(to, time);
    };
    for (int c = 0; c < 3; ++c) {
        writeAt(path, "sv.maxPlayers 16\r\n");
        ScriptedFileSystem system;
        system.coarseTimes = c == 0;
        const std::int64_t tick = (*systemFileSystem().openToRead(path))->stamp().modified;
        system.nowInstead = [&] { return tick + 1'900'000'000; };  // read 1.9 s into the tick
        auto doc = readModFile(path, system);
        ASSERT_TRUE(doc);
        if (c == 0) {
            EXPECT_TRUE(doc->Stamp.racy);
        }
        if (c != 0) doc->Stamp.racy = false;                // as if read long after its last change
        if (c == 0) writeAt(path, "sv.maxPlayers 32\r\n");  // the same tick, in place
        if (c == 1) writeBytes(path, "sv.maxPlayers 32\r\n");
        system.beforeSwap = [&](int n, const fs::path&) {
            if (c != 2 || n != 0) return;
            writeAt(path.string() + ".new", "sv.maxPlayers 32\r\n");
            fs::rename(path.string() + ".new", path);
        };
        const std::string_view base = doc->Text, next = "sv.maxPlayers 64\r\n";
        ReplaceRequest request{doc->Path, doc->Stamp, FileContent(&base, 1), FileContent(&next, 1)};
        const ReplaceResult replaced = replaceModFile(request, system);
        EXPECT_EQ(replaced.kind, ReplaceResult::Differs) << c;
        EXPECT_EQ(replaced.found ? replaced.found->Text : "", "sv.maxPlayers 32\r\n") << c;
        EXPECT_EQ(mod.read(ModFile::ServerSettings), "sv.maxPlayers 32\r\n") << c;
    }
}

// A save whose new file could not be put in place, where the old one is already gone:
// the new one is then the only copy and must be kept, and named.
TEST(ChangedFiles, TheOnlyCopyIsKeptWhenTheFileCannotBePutInPlace) {
    EditedMod m;
    ScriptedFileSystem system;
    system.swapInstead = [](const fs::path& target, const fs::path&, const fs::path&) {
        fs::remove(target);  // as ReplaceFileW leaves it on ERROR_UNABLE_TO_MOVE_REPLACEMENT
        return 1176;
    };
    const fs::path bots = m.mod.path(ModFile::BotNames);
    system.moveInstead = [&](const fs::path& from, const fs::path& to) {
        return to == bots ? 5 : systemFileSystem().move(from, to);
    };
    SaveResult result = saveThrough(m.state, {false, false, false, true}, system);
    ASSERT_EQ(result.failures.size(), 1u);
    const std::string& reason = result.failures[0].reason;
    const auto at = reason.find("the saved file is kept as ");
    ASSERT_NE(at, std::string::npos) << reason;
    const fs::path kept = reason.substr(at + 26);
    EXPECT_EQ(readBytes(kept),
              "aiSettings.addBotName Zulu\r\naiSettings.addBotName Bravo\r\naiSettings.addBotName Charlie\r\n");
    // Beside the file, in plain sight, under a name no sweep of leftovers takes.
    EXPECT_EQ(kept.parent_path(), bots.parent_path());
    EXPECT_EQ(kept.filename().string().rfind("BotNames.AI.kept-", 0), 0u) << kept;
    EXPECT_FALSE(isTemporaryNameFor(kept.filename().string(), "BotNames.AI"));
    EXPECT_FALSE(fs::exists(bots));
}

// Another program's save that came out in the swap and cannot be put back is kept for the
// user under a name of its own, which the message gives and the next load leaves alone;
// nothing else is left beside the file.
TEST(ChangedFiles, AVersionThatCannotBePutBackIsKeptInPlainSight) {
    EditedMod m;
    const fs::path path = m.mod.path(ModFile::ServerSettings);
    const std::string theirs = server("x", 75, "sv.new 1\r\n");
    ScriptedFileSystem system;
    system.swapInstead = [&](const fs::path& target, const fs::path& incoming, const fs::path& outgoing) {
        if (system.swaps > 1) return 5;  // the put-back
        writeBytes(path.string() + ".theirs", theirs);
        fs::rename(path.string() + ".theirs", path);
        return systemFileSystem().swap(target, incoming, outgoing);
    };
    SaveResult result = saveThrough(m.state, {true, false, false, false}, system);
    ASSERT_EQ(result.failures.size(), 1u);
    const std::string& reason = result.failures[0].reason;
    const auto at = reason.find("it is kept as ");
    ASSERT_NE(at, std::string::npos) << reason;
    const fs::path kept = reason.substr(at + 14);
    EXPECT_EQ(readBytes(kept), theirs);
    EXPECT_EQ(kept.filename().string().rfind("ServerSettings.CON.kept-20", 0), 0u) << kept;
    m.mod.load();
    EXPECT_EQ(readBytes(kept), theirs);
    std::size_t beside = 0;
    for (const auto& entry : fs::directory_iterator(path.parent_path())) beside += entry.path() != kept;
    EXPECT_EQ(beside, 1u);
}

#ifndef _WIN32

TEST(ChangedFiles, ALinkIsFollowedOnlyAsItWasWhenLoaded) {
    TempMod mod;
    mod.writeAll("", "", "", "");
    const fs::path a = mod.folder() / "a.con", b = mod.folder() / "b.con";
    writeBytes(a, "sv.soldierFriendlyFire 75\n");
    writeBytes(b, "sv.soldierFriendlyFire 50\n");  // as a is after the first save: only the link tells
    fs::remove(mod.path(ModFile::ServerSettings));
    fs::create_symlink(a, mod.path(ModFile::ServerSettings));
    EditorState state = mod.load();
    state.setSetting(Setting::SoldierFF, 50);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(readBytes(a), "sv.soldierFriendlyFire 50\n");
    EXPECT_TRUE(fs::is_symlink(mod.path(ModFile::ServerSettings)));

    // Pointed elsewhere after the load: neither file is written.
    state.setSetting(Setting::SoldierFF, 40);
    fs::remove(mod.path(ModFile::ServerSettings));
    fs::create_symlink(b, mod.path(ModFile::ServerSettings));
    SaveResult result = SaveModSettings(state, {});
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_TRUE(result.failures[0].changedElsewhere);
    EXPECT_EQ(readBytes(a), "sv.soldierFriendlyFire 50\n");
    EXPECT_EQ(readBytes(b), "sv.soldierFriendlyFire 50\n");
}

// The merge against git's three-way merge, on an edit of one or two lines and changes of
// another program kept a line apart from it or right on it: git merges cleanly just when no
// edited line was touched, and then both give the same text.
TEST(ChangedFiles, TheMergeAgreesWithGitsThreeWayMerge) {
    TempMod dir;
    std::mt19937 random(1717);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    auto join = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines) text += line + "\n";
        return text;
    };
    int clean = 0;
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = 4 + pick(10), first = pick(n - 1), count = 1 + pick(2);
        std::vector<std::string> base, ours, theirs;
        for (std::size_t i = 0; i < n; ++i) base.push_back("aiSettings.addBotName B" + std::to_string(i));
        ours = base;
        for (std::size_t i = first; i < first + count; ++i) ours[i] = "aiSettings.addBotName Mine" + std::to_string(i);
        const bool apart = pick(5) != 0;
        for (std::size_t i = 0; i <= n; ++i) {
            const bool away = i + 1 < first || i > first + count;  // a line apart: neither on nor next to it
            if ((i + 1 <= first || i > first + count) && pick(4) == 0)
                theirs.push_back("sv.added " + std::to_string(i));
            if (i == n) break;
            if (!apart && i >= first && i < first + count && pick(2) == 0)
                theirs.push_back("aiSettings.addBotName T");
            else if (!away || pick(4) != 0)
                theirs.push_back(base[i]);
            else if (pick(2) == 0)
                theirs.push_back(base[i] + "x");
        }
        const std::string baseText = join(base), theirsText = join(theirs);
        std::size_t begin = 0;
        for (std::size_t i = 0; i < first; ++i) begin += base[i].size() + 1;
        std::string edit = ours[first];
        if (count == 2) edit += "\n" + ours[first + 1];
        const std::size_t length = base[first].size() + (count == 2 ? base[first + 1].size() + 1 : 0);
        const Merge merged = rebasePatch(baseText, theirsText, TextPatch({{{begin, length}, edit}}));

        writeBytes(dir.folder() / "base", baseText);
        writeBytes(dir.folder() / "ours", join(ours));
        writeBytes(dir.folder() / "theirs", theirsText);
        const std::string command =
            "cd '" + dir.folder().string() + "' && git merge-file -p ours base theirs >merged 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        const bool gitClean = WEXITSTATUS(status) == 0;
        clean += gitClean;
        ASSERT_EQ(merged.text.has_value(), gitClean) << "base:\n" << baseText << "theirs:\n" << theirsText;
        if (gitClean) {
            EXPECT_EQ(*merged.text, readBytes(dir.folder() / "merged")) << baseText << theirsText;
        }
    }
    EXPECT_GT(clean, 150);
}

TEST(ChangedFiles, WhoMayWriteAFileIsTheSystemsAnswer) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to own files as another user";
    TempMod mod;
    mod.writeAll("", "sv.soldierFriendlyFire 75\n", "aiSettings.setMaxNBots 8\n", "");
    fs::permissions(mod.folder(), fs::perms::all);
    for (const char* folder : {"AI", "Settings", "python", "python/game"})
        fs::permissions(mod.folder() / folder, fs::perms::all);
    // Root's and world-readable: nobody may read it but not write it, though the folder allows a rename.
    fs::permissions(mod.path(ModFile::ServerSettings), fs::perms(0644));
    // Writable through its group only.
    ASSERT_EQ(chown(mod.path(ModFile::AIDefaults).c_str(), 0, 65534), 0);
    fs::permissions(mod.path(ModFile::AIDefaults), fs::perms(0464));

    // As nobody, in a child process.
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
        EditorState state = mod.load();
        state.setSetting(Setting::SoldierFF, 50);
        state.setSetting(Setting::MaxBots, 9);
        SaveResult result = SaveModSettings(state, {});
        _exit(result.failures.size() == 1 && result.failures[0].file == ModFile::ServerSettings &&
                      result.failures[0].reason == "you may not write to this file"
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mod.read(ModFile::ServerSettings), "sv.soldierFriendlyFire 75\n");
    EXPECT_EQ(fs::status(mod.path(ModFile::ServerSettings)).permissions(), fs::perms(0644));
    EXPECT_EQ(mod.read(ModFile::AIDefaults), "aiSettings.setMaxNBots 9\n");
}

TEST(ChangedFiles, LeftoversOfAnInterruptedSaveAreRemovedAndNothingElse) {
    TempMod mod;
    mod.writeAll("", "", "", "");
    const fs::path ai = mod.path(ModFile::BotNames).parent_path();
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string dead = std::to_string(ended);
    // The last: a running process's number, but an hour old, as after a restart.
    const std::vector<std::string> leftovers{".BotNames.AI.tarsun-" + dead + "-a1B2c3",
                                             ".AIDefault.AI.tarsun-" + std::to_string(getpid()) + "-zzzzzz",
                                             ".AIDefault.AI.tarsun-" + std::to_string(getppid()) + "-hour01"};
    const std::vector<std::string> others{".BotNames.AI.tarsun-" + dead + "-toolong", ".BotNames.AI.tarsun-notes",
                                          ".Other.AI.tarsun-" + dead + "-a1B2c3", "BotNames.AI.bak",
                                          ".BotNames.AI.tarsun-" + std::to_string(getppid()) + "-a1B2c3"};
    for (const auto& name : leftovers) writeBytes(ai / name, "half");
    fs::last_write_time(ai / leftovers[2], fs::file_time_type::clock::now() - std::chrono::hours(1));
    for (const auto& name : others) writeBytes(ai / name, "keep");
    fs::create_symlink(ai / others[0], ai / (".AIDefault.AI.tarsun-" + dead + "-linkme"));
    EditorState state = mod.load();
    for (const auto& name : leftovers) EXPECT_FALSE(fs::exists(ai / name)) << name;
    for (const auto& name : others) EXPECT_EQ(readBytes(ai / name), "keep") << name;
    EXPECT_TRUE(fs::is_symlink(ai / (".AIDefault.AI.tarsun-" + dead + "-linkme")));
    // One left after the load, beside the file a save writes, goes before that save.
    const fs::path late = mod.path(ModFile::ServerSettings).parent_path() / (".ServerSettings.CON.tarsun-" + dead + "-b2C3d4");
    writeBytes(late, "half");
    state.setSetting(Setting::SoldierFF, 40);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_FALSE(fs::exists(late));
}

// Saves under fire, hundreds of times: killed at a random moment, the mod's file is always
// the old one or the new one, whole, and whatever the killed save left behind is gone after
// the next load; and another process's saves during them are never lost.
TEST(KillDuringSave, TheFileIsAlwaysWholeAndNothingIsLeftBehind) {
    TempMod mod;
    std::string old;
    for (int i = 0; i < 4000; ++i) old += "aiSettings.addBotName Bot" + std::to_string(i) + "\r\n";
    std::string renamed = old;
    renamed.replace(old.find("Bot2000\r"), 7, "Renamed");
    mod.writeAll(old, "", "", "");
    const fs::path bots = mod.path(ModFile::BotNames);

    // A child loads the mod, renames one bot and saves; the parent kills it part-way.
    auto saveInChild = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            EditorState state = mod.load();
            state.setBotName(2000, "Renamed");
            _exit(SaveModSettings(state, {false, false, false, true}).done() ? 0 : 3);
        }
        return pid;
    };
    // How long one whole save takes here, so that the kills spread over all of it.
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(saveInChild(), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(mod.read(ModFile::BotNames), renamed);
    const double saveMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    const int kills = std::getenv("TARSUN_KILLS") ? std::atoi(std::getenv("TARSUN_KILLS")) : 400;
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> moment(0, saveMs * 1.2);
    int asOld = 0, asNew = 0, leftAfterKill = 0, leftAfterLoad = 0;
    for (int i = 0; i < kills; ++i) {
        writeBytes(bots, old);
        pid_t pid = saveInChild();
        usleep(static_cast<useconds_t>(moment(random) * 1000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::string now = readBytes(bots);
        asOld += now == old;
        asNew += now == renamed;
        leftAfterKill += !temporariesBeside(bots).empty();
        mod.load();
        leftAfterLoad += static_cast<int>(temporariesBeside(bots).size());
    }
    std::printf("%d kills in a %.1f ms save: %d old, %d new, %d other; %d left a temporary file\n", kills, saveMs,
                asOld, asNew, kills - asOld - asNew, leftAfterKill);
    EXPECT_EQ(asOld + asNew, kills);
    EXPECT_EQ(leftAfterLoad, 0);
}

// Another process saving the way most programs do (write a new file, rename it over the
// name) a few times while the editor saves, round after round: its last save is never lost,
// whatever becomes of the editor's.
TEST(RenameRace, AnotherProgramsSavesAreNeverLost) {
    TempMod mod;
    const std::string base = "sv.serverName x\r\nsv.soldierFriendlyFire 75\r\nsv.maxPlayers 16\r\n";
    mod.writeAll("", base, "", "");
    const fs::path server = mod.path(ModFile::ServerSettings);
    auto save = [&] {
        EditorState state = mod.load();
        state.setSetting(Setting::SoldierFF, 50);
        return SaveModSettings(state, {true, false, false, false});
    };
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(save().done());
    const double saveUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();

    const int rounds = std::getenv("TARSUN_RACE_ROUNDS") ? std::atoi(std::getenv("TARSUN_RACE_ROUNDS")) : 600;
    const int savesPerRound = 4;
    std::mt19937 random(4242);
    std::uniform_real_distribution<double> moment(0, saveUs * 1.5 / savesPerRound);
    int merged = 0, kept = 0, refused = 0, lost = 0, leftovers = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    int round = 0;
    for (; round < rounds && std::chrono::steady_clock::now() < deadline; ++round) {
        writeBytes(server, base);
        std::vector<useconds_t> pauses;
        for (int j = 0; j < savesPerRound; ++j) pauses.push_back(static_cast<useconds_t>(moment(random)));
        const pid_t other = fork();
        if (other == 0) {
            for (int j = 0; j < savesPerRound; ++j) {
                usleep(pauses[static_cast<std::size_t>(j)]);
                writeBytes(server.string() + ".new", base + "sv.other" + std::to_string(j) + " 1\r\n");
                fs::rename(server.string() + ".new", server);
            }
            _exit(0);
        }
        const SaveResult result = save();
        waitpid(other, nullptr, 0);
        const std::string now = readBytes(server);
        const bool all = now.find("sv.other" + std::to_string(savesPerRound - 1) + " 1\r\n") != std::string::npos;
        lost += !all;
        merged += all && now.find("sv.soldierFriendlyFire 50\r\n") != std::string::npos;
        kept += all && result.done() && now.find("sv.soldierFriendlyFire 75\r\n") != std::string::npos;
        refused += all && !result.done();
        mod.load();
        leftovers += static_cast<int>(temporariesBeside(server).size());
    }
    std::printf("%d rounds of %d rename-saves during a %.0f us save: %d merged, %d kept (saved over later), "
                "%d refused, %d lost; %d temporary files left\n",
                round, savesPerRound, saveUs, merged, kept, refused, lost, leftovers);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(leftovers, 0);
}

#endif

#if defined(__SANITIZE_ADDRESS__)
TEST(ChangedFiles, MemoryFollowsTheContentKept) {
    TempMod mod;
    const std::string lineFeeds(8 << 20, '\n');
    mod.writeAll(lineFeeds, "", "", "");
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    EditorState state = mod.load();
    const std::size_t kept = __sanitizer_get_current_allocated_bytes() - before;
    EXPECT_EQ(state.botCount(), 0u);
    EXPECT_LT(kept, 2 * lineFeeds.size());
}
#endif

}  // namespace
