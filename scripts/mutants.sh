#!/usr/bin/env bash
# Breaks the program on purpose, one fault at a time, and reports which tests notice.
#   scripts/mutants.sh [REV]   REV: a commit to try (default: the working tree as it is)
# Works on a copy in a temporary folder: the real tree is never touched. Prints a
# markdown table on stdout (break, file, failing tests or SURVIVED); progress on stderr.
# Each break is an exact text and its replacement; a text that is no longer found once
# (the code moved on) stops the run before anything is built, so refresh it here.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
# Debian's own interpreter, whatever else is first on the PATH.
py=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/tarsun-mutants.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
src=$work/src
build=$work/build
mkdir -p "$src"

if [ $# -ge 1 ]; then
    git archive "$1" | tar -x -C "$src"
else
    git ls-files -z --cached --others --exclude-standard | tar --null -T - -c | tar -x -C "$src"
fi

names=() files=() finds=() replaces=()
brk() { names+=("$1") files+=("$2") finds+=("$3") replaces+=("$4"); }

# --- The breaks ----------------------------------------------------------------------
# The settings core.
brk "appended line gets LF, not CRLF" settings/TextLines.cpp \
    'if (!appended_.empty() && endsWithoutLineEnd(text)) out.push_back("\r\n");' \
    'if (!appended_.empty() && endsWithoutLineEnd(text)) out.push_back("\n");'
brk "moved span one byte off" settings/TextLines.cpp \
    'static_cast<std::ptrdiff_t>(span.begin) + shiftAt(span.begin, false));' \
    'static_cast<std::ptrdiff_t>(span.begin) + shiftAt(span.begin, false) + 1);'
brk "in-place patch skips the last stretch" settings/TextLines.cpp \
    'for (std::size_t k = 0; k <= n; ++k)' \
    'for (std::size_t k = 0; k < n; ++k)'
brk "setting not clamped" settings/EditorState.cpp \
    'shown_[slotOf(s)] = std::clamp(value, info.minimum, info.maximum);' \
    'shown_[slotOf(s)] = value;'
brk "percent text divided by 10" settings/ModTables.cpp \
    'std::string text = std::to_string(value / 100);' \
    'std::string text = std::to_string(value / 10);'
brk "control characters allowed in bot names" settings/BotNamesDocument.cpp \
    'if (isControl(c)) return NameProblem::ControlCharacter;' \
    'if (false && isControl(c)) return NameProblem::ControlCharacter;'
brk "friendly fire and bot groups swapped" settings/ModWriter.cpp \
    'case ModFile::ServerSettings: return groups.FriendlyFire;
    case ModFile::AIDefaults: return groups.BotSettings;' \
    'case ModFile::ServerSettings: return groups.BotSettings;
    case ModFile::AIDefaults: return groups.FriendlyFire;'
brk "a temporary's time not asked when listed" settings/FileSystem_posix.cpp \
    "const bool maybeTemporary = name.starts_with('.') && name.find(TemporaryMark) != std::string_view::npos;" \
    'const bool maybeTemporary = false;'
brk "any listed file taken for the one looked for" settings/ModFiles.cpp \
    '[&](const FolderEntry& entry) { return entry.plainFile && entry.name == name; });' \
    '[&](const FolderEntry& entry) { return entry.plainFile; });'
brk "read-only file replaced" settings/FileSystem_posix.cpp \
    'if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Failure{"the file is read-only"};' \
    'if (false) return Failure{"the file is read-only"};'
brk "hexadecimal read as decimal" settings/PythonNumber.cpp \
    "int base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 0;" \
    "int base = p == 'x' ? 10 : p == 'o' ? 8 : p == 'b' ? 2 : 0;"
brk "leading zeros read as decimal, not octal" settings/PythonNumber.cpp \
    "if (intDigits.size() > 1 && intDigits[0] == '0') {" \
    'if (false) {'
brk "a later augmented assignment ignored" settings/PythonText.cpp \
    'targets(field(n, "left"), Kind::Augmented);' \
    ';'
brk "the inner name of a chain taken as plain" settings/PythonText.cpp \
    '(path.size() >= 2 && typeOf(path[path.size() - 2]) == "assignment");' \
    'false;'
brk "a binding inside a block taken as plain" settings/PythonText.cpp \
    'if (!e.topLevel)' \
    'if (false)'
brk "a second from qmr line taken as the header's end" settings/PythonText.cpp \
    'if (header || typeOf(c) != "import_from_statement") return;' \
    'if (typeOf(c) != "import_from_statement") return;'
brk "the first binding holds" settings/PythonText.cpp \
    'if (e.at >= constantsFrom && (e.kind != Kind::Global || !last.count(e.name))) last[e.name] = &e;' \
    'if (e.at >= constantsFrom && !last.count(e.name)) last[e.name] = &e;'
brk "a fraction taken as the whole number shown" settings/PythonNumber.cpp \
    'return static_cast<double>(r) == real;' \
    'return true;'
brk "only the value's first character replaced" settings/ScoringDocument.cpp \
    'entry.Value = {b.valueBegin, b.valueEnd - b.valueBegin};' \
    'entry.Value = {b.valueBegin, b.valueEnd > b.valueBegin ? 1u : 0u};'
brk "two characters swapped in the code page table" settings/CodePage.cpp \
    '0x2013, 0x2014, 0x02DC' \
    '0x2014, 0x2013, 0x02DC'
brk "setting edit rewrites the whole line" settings/SettingsDocument.cpp \
    'edits.push_back({line.Value, bare ? " " + value : value});' \
    'edits.push_back({line.Line, std::string(info.command) + " " + value});'
brk "stamp always trusted" settings/ReplaceProtocol.cpp \
    'trustStamp_ = !request_.stamp.racy && checked_.sameAs(request_.stamp);' \
    'trustStamp_ = true;'
brk "a change at the last moment not put back" settings/ReplaceProtocol.cpp \
    'if (swappedOutFileHoldsWhatWasChecked()) {' \
    'if (true) {'
brk "link pointed elsewhere written through" settings/ReplaceProtocol.cpp \
    'if (*now != request_.stamp.resolved)' \
    'if (false)'
brk "the system's access test skipped" settings/FileSystem_posix.cpp \
    'if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {' \
    'if (false) {'
brk "the only copy deleted" settings/ReplaceProtocol.cpp \
    'std::string kept = "; the saved file is kept as " + keepBeside(target_, temp_->path, fs_).string();' \
    'fs_.remove(temp_->path); std::string kept;'
brk "leftovers kept" settings/ModFiles.cpp \
    'if (leftover && entry.plainFile)' \
    'if (false && leftover && entry.plainFile)'
brk "temporary name pattern too loose" settings/FileSystem_posix.cpp \
    'split->rest.size() != 6' \
    'split->rest.size() < 6'
brk "an edited line another program changed is merged anyway" settings/LineMerge.cpp \
    'if (to < 0) return editedLineChanged;' \
    'if (to < 0) continue;'
brk "a merge whose edit no longer holds is written" settings/ScoringDocument.cpp \
    'if (!e.Edited) continue;' \
    'continue;'

brk "the merge's line shift with its sign flipped" settings/LineMerge.cpp \
    'return static_cast<std::ptrdiff_t>(line + b.text.size()) - static_cast<std::ptrdiff_t>(a.text.size());' \
    'return static_cast<std::ptrdiff_t>(line + a.text.size()) - static_cast<std::ptrdiff_t>(b.text.size());'
brk "a file too different to match taken for an edited line changed" settings/LineMerge.cpp \
    'if (to < 0 && !mid && first >= head && first < a.text.size() - tail)' \
    'if (false)'
brk "the last line of a two-line edit left unchecked in the merge" settings/LineMerge.cpp \
    'for (std::size_t line = first + 1; line <= last && line < a.text.size(); ++line)' \
    'for (std::size_t line = first + 1; line < last && line < a.text.size(); ++line)'
brk "a line another program added for an edited setting not seen as a conflict" settings/SettingsDocument.cpp \
    'if (lines(s).empty() && merged->lines(s).size() > 1)' \
    'if (false)'
brk "the two-second rule for young stamps dropped" settings/ReplaceProtocol.cpp \
    'after.racy = changedShortlyBefore(after, start);' \
    'after.racy = false;'
brk "the two-second rule made two milliseconds" settings/ReplaceProtocol.cpp \
    "constexpr std::int64_t RacyWindow = 2'000'000'000;" \
    "constexpr std::int64_t RacyWindow = 2'000'000;"
brk "the file swapped out not checked by its id" settings/ReplaceProtocol.cpp \
    'if (const auto out = fs_.idAt(backup_); out && *out != idOf(checked_)) return false;' \
    ';'
brk "another program's save, swapped out, written over with the old bytes" settings/ReplaceProtocol.cpp \
    'if (!out) return writeOldBytesBack();' \
    'if (!out || *out != idOf(checked_)) return writeOldBytesBack();'
brk "a put-back keeps whatever file it took out" settings/ReplaceProtocol.cpp \
    'for (int round = 0; round < 4 && !stillHolds(outgoing, taken); ++round) {' \
    'for (int round = 0; round < 0; ++round) {'
brk "the file put back not read first, so a write into it goes unseen" settings/ReplaceProtocol.cpp \
    'std::optional<Known> comingIn = know(backup_);' \
    'std::optional<Known> comingIn;'
brk "a kept file left under the temporary pattern" settings/ReplaceProtocol.cpp \
    'return !fs.exists(name) && fs.move(file, name) == 0 ? name : file;' \
    'return fs.exists(name) ? name : file;'
brk "superseded versions left beside the file" settings/ReplaceProtocol.cpp \
    'fs_.remove(temp_->path);
        if (backup_ != temp_->path) fs_.remove(backup_);
        return true;' \
    'return true;'
brk "a half-written file refused without a second read" settings/ModWriter.cpp \
    'if (refusedRead == found->Text)' \
    'if (true)'
brk "a save leaves the leftovers beside its file" settings/ModWriter.cpp \
    'FolderListings(fs_).removeLeftoverTemporaries(std::span(&target, 1));' \
    'static_cast<void>(target);'
brk "a save cut off in the history not written over" settings/SaveHistory.cpp \
    'if (scan.end < size) {' \
    'if (false) {'
brk "the history never trimmed" settings/SaveHistory.cpp \
    'if (drop > 0 && (scan.entries.size() > HistorySaves + HistorySaves / 5' \
    'if (false && drop > 0 && (scan.entries.size() > HistorySaves + HistorySaves / 5'
brk "every save in the log shown" settings/SaveHistory.cpp \
    'entries.size() > HistorySaves ? entries.size() - HistorySaves : 0;' \
    '0;'
brk "one listing given for every folder" settings/ModFiles.cpp \
    'auto [at, added] = taken_.try_emplace(folder);' \
    'auto [at, added] = taken_.try_emplace(folder.root_path());'
brk "a running process's number keeps an old leftover" settings/ModFiles.cpp \
    '!fs_.processRuns(*pid) || now - entry.modified > LeftoverAge;' \
    '!fs_.processRuns(*pid);'
brk "bot name written as typed, not in the code page" settings/BotNamesDocument.cpp \
    'edits.push_back({lines_[entry], std::string(BotNamePrefix) + *bytes});' \
    'edits.push_back({lines_[entry], std::string(BotNamePrefix) + name});'
brk "bot name shown as the file's bytes" settings/BotNamesDocument.cpp \
    'return codePage_.decode(lines_.at(entry).in(file_.Text).substr(BotNamePrefix.size()));' \
    'return std::string(lines_.at(entry).in(file_.Text).substr(BotNamePrefix.size()));'
brk "file names matched in their exact letter case" settings/ModFiles.cpp \
    'return lower(x) == lower(y);' \
    'return x == y;'
brk "a device read as a file" settings/FileSystem_posix.cpp \
    '// A device or a pipe in place of a mod file could block or never end.
        if (!S_ISREG(st.st_mode)) return Failure{"it is not an ordinary file"};' \
    'if (false) return Failure{"it is not an ordinary file"};'
brk "a merged document not adopted" settings/ModWriter.cpp \
    'doc_.replaceBy(std::move(*merged), replaced.stamp);' \
    ';'
brk "the shown settings not taken from a merged save" settings/ModWriter.cpp \
    'state_.showSaved(file_);' \
    ';'
brk "settings not taken back after a save" settings/ModWriter.cpp \
    'if (!merged) return doc_.written(*patch, replaced.stamp, shown);' \
    'if (!merged) return;'
brk "a longer command read as the setting" settings/SettingsDocument.cpp \
    '(line.size() == command.size() || isBlank(line[command.size()])) &&' \
    'true &&'
brk "bot skill of 100 written as 1.0" settings/ModTables.cpp \
    'if (hundredths != 0) {' \
    'if (true) {'
# The windows.
brk "exit question reworded" windows/FormMain.cpp \
    'dialogs_.askYesNo(this, QStringLiteral("Do you want to exit?"), unsavedGroups(state_))' \
    'dialogs_.askYesNo(this, QStringLiteral("Do you want to quit?"), unsavedGroups(state_))'
brk "window close not refused" windows/FormMain.cpp \
    'event->ignore();' \
    'event->accept();'
brk "exit button answers any mouse button" windows/FormMain.cpp \
    'void FormMain::PictureExit_MouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;' \
    'void FormMain::PictureExit_MouseUp(Qt::MouseButton button) {
    (void)button;'
brk "drag start in pixels, not twips" windows/FormMain.cpp \
    'state_.DragStartX = position.x() * 15;' \
    'state_.DragStartX = position.x();'
brk "SFD spinner writes the vehicle setting" windows/FormMain.cpp \
    'void FormMain::VScrollSFD_Change() { settingChanged(Setting::SoldierFF); }' \
    'void FormMain::VScrollSFD_Change() { settingChanged(Setting::VehicleFF); }'
brk "spinners stop at 99" windows/SettingControl.cpp \
    'spinner_->setRange(range.minimum, range.maximum);' \
    'spinner_->setRange(range.minimum, range.maximum - 1);'
brk "max bots slider starts at 0" windows/SettingControl.cpp \
    'slider_->setRange(range.minimum, range.maximum);' \
    'slider_->setRange(0, range.maximum);'
brk "bot skill slider starts at 1" windows/SettingControl.cpp \
    'slider_->setRange(range.minimum, range.maximum);' \
    'slider_->setRange(std::max(1, range.minimum), range.maximum);'
brk "tab order starts at the bot skill" windows/FormMainLayout.cpp \
    'order{listBotNames_, at(Setting::MaxBots), at(Setting::BotSkill),' \
    'order{listBotNames_, at(Setting::BotSkill), at(Setting::MaxBots),'
brk "the main window not refreshed after a save" windows/FormMain.cpp \
    '        scoresModel_->allChanged();
        showSettings();' \
    '        scoresModel_->allChanged();'
brk "Accept stays greyed for bot names after a constant that cannot be edited" windows/FormEdit.cpp \
    '    commandAccept_->setEnabled(true);
    textBotName_->setFocus();' \
    '    textBotName_->setFocus();'
brk "the value caption left from the constant before" windows/FormEdit.cpp \
    'else labelScore_->setText(QString::number(value));' \
    ';'
brk "accepted edit refreshes the other list" windows/FormMain.cpp \
    'state_.EditMode == -1 ? botNamesModel_ : scoresModel_;' \
    'state_.EditMode == -1 ? scoresModel_ : botNamesModel_;'
brk "save window's groups out of order" windows/FormSave.cpp \
    'SaveGroups{checkFF_->isChecked(), checkScore_->isChecked(), checkBots_->isChecked(),' \
    'SaveGroups{checkFF_->isChecked(), checkBots_->isChecked(), checkScore_->isChecked(),'
brk "save question reworded" windows/FormSave.cpp \
    'QStringLiteral("Save?")' \
    'QStringLiteral("Save changes?")'
brk "missing file on save not reported" windows/FormSave.cpp \
    'dialogs_.showError(this, QStringLiteral("File not found! No data saved."));' \
    ';'
brk "score accept writes the next entry" windows/FormEdit.cpp \
    'state_.setScoreValue(static_cast<std::size_t>(state_.EditIndex), vScrollNum_->value());' \
    'state_.setScoreValue(static_cast<std::size_t>(state_.EditIndex + 1), vScrollNum_->value());'
brk "bot name accept writes the next entry" windows/FormEdit.cpp \
    'const auto entry = static_cast<std::size_t>(state_.EditIndex);' \
    'const auto entry = static_cast<std::size_t>(state_.EditIndex + 1);'
brk "score span not widened" windows/FormEdit.cpp \
    'const ValueRange range = scoreRange(value);' \
    'const ValueRange range = scoreRange(0);'
brk "bot names one character shorter" settings/NamedValues.h \
    'constexpr int BotNameLength = 256;' \
    'constexpr int BotNameLength = 255;'
brk "the value editor looks a constant up by its list row" windows/FormEdit.cpp \
    'const qint64 value = state_.ScoreValues[entry.Index];' \
    'const qint64 value = state_.ScoreValues[static_cast<std::size_t>(row)];'
brk "accept without a step writes the value" windows/FormEdit.cpp \
    '} else if (moved_) {' \
    '} else {'
brk "the save window does not ask the main window to show what was written" windows/FormSave.cpp \
    'emit finished(true);' \
    'emit finished(false);'

brk "a slider pages by ten" windows/SettingControl.cpp \
    'slider_->setPageStep(5);' \
    'slider_->setPageStep(10);'
# The start-up.
brk "load error reworded" startup/StartUp.cpp \
    'QStringLiteral("File not found! No data loaded.")' \
    'QStringLiteral("File not found!")'
brk "start-up exit question reworded" startup/StartUp.cpp \
    'ExitQuestion = QStringLiteral("Do you want to exit?")' \
    'ExitQuestion = QStringLiteral("Exit?")'
brk "folder error spelt right" startup/StartUp.cpp \
    'QStringLiteral("An error has occured!")' \
    'QStringLiteral("An error has occurred!")'
brk "chooser asks without the question mark" startup/StartUp.cpp \
    'QStringLiteral("Edit ") + name + QStringLiteral("?")' \
    'QStringLiteral("Edit ") + name'
brk "chooser asks Edit ?" startup/StartUp.cpp \
    'const QString name = selected.front()->text();' \
    'const QString name;'
brk "no retry after cancel and No" startup/StartUp.cpp \
    '                return;
            }
            continue;' \
    '                return;
            }
            return;'
brk "mods folder without its separator" startup/StartUp.cpp \
    'toText(found->filename()) + separator);' \
    'toText(found->filename()));'
brk "mods folder only in lower case" settings/ModFolders.cpp \
    'found && FolderExists(*found, fs))' \
    'found && false)'
brk "root loses its separator" startup/FolderBrowseDialog.cpp \
    'QString clean = QDir::cleanPath(QFileInfo(text).absoluteFilePath());' \
    'QString clean = QDir::cleanPath(QFileInfo(text).absoluteFilePath());
    if (clean.endsWith(QLatin1Char('\''/'\''))) clean.chop(1);'
brk "mods sorted by letter case" startup/General.cpp \
    'QString::compare(keys[a], keys[b], Qt::CaseInsensitive)' \
    'QString::compare(keys[a], keys[b], Qt::CaseSensitive)'
brk "folder test ignores a NUL" settings/FileSystem_posix.cpp \
    "if (path.empty() || path.native().find('\\0') != std::string::npos) return false;" \
    'if (path.empty()) return false;'
brk "message boxes lose the title" startup/SystemDialogs.cpp \
    'const QString Title = QStringLiteral("Tarsun Editor");' \
    'const QString Title = QStringLiteral("Tarsun");'
brk "ending before the loop is lost" startup/SystemDialogs.cpp \
    'QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);' \
    ';'
brk "the last game folder not remembered" startup/StartUp.cpp \
    'settings_.setValue(GameFolderKey, gameFolder);' \
    ';'
brk "closing the chooser ends without asking" startup/StartUp.cpp \
    'const bool leave = dialogs_.askYesNo(&chooser(), ExitQuestion);' \
    'const bool leave = true;'
brk "the Home button goes nowhere" startup/FolderBrowseDialog.cpp \
    '[this] { showFolderInTree(SpecialFolderPath(SpecialFolder::Profile), true); });' \
    '[] {});'
# The command-line tool and the core's values by name.
brk "dry run writes" cli/CliTool.cpp \
    '!dryRun ? FileReplacer([](const ReplaceRequest& request) { return replaceModFile(request); })' \
    'true ? FileReplacer([](const ReplaceRequest& request) { return replaceModFile(request); })'
brk "a refused value still lets the others be written" cli/CliTool.cpp \
    'if ((refusedValue || unloadable) && !keepGoing) {' \
    'if (unloadable && !keepGoing) {'
brk "a file gone before the save counted as written" cli/CliTool.cpp \
    'saved.done() ? ++written : ++refused;' \
    'saved.failures.empty() ? ++written : ++refused;'
brk "a refused file exits 0" cli/CliTool.cpp \
    'return refused + skipped > 0 ? ExitFileRefused : ExitDone;' \
    'return ExitDone;'
brk "a setting's maximum not checked by name" settings/NamedValues.cpp \
    'if (*number < info.minimum || *number > info.maximum)' \
    'if (*number < info.minimum)'
brk "bot names never ticked for a save by name" settings/NamedValues.cpp \
    'changed({Setting::MaxBots, Setting::BotSkill}), !state.editedBotNames().empty()};' \
    'changed({Setting::MaxBots, Setting::BotSkill}), false};'
brk "a constant that cannot be edited is set by name" settings/NamedValues.cpp \
    'if (!entry.Editable) return' \
    'if (false) return'
# -------------------------------------------------------------------------------------

# Replaces exactly one occurrence, or says why it cannot.
replace_once() {
    "$py" - "$@" <<'EOF'
import sys
path, find, repl, check = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == "check"
text = open(path, encoding="utf-8", newline="").read()
count = text.count(find)
if count != 1:
    sys.exit(f"{path}: the text to break is found {count} times, not once:\n{find}")
if not check:
    open(path, "w", encoding="utf-8", newline="").write(text.replace(find, repl))
EOF
}

# ONLY=settings/ keeps the breaks of the files whose path begins so (several, blank
# between: ONLY="settings/ModWriter cli/"); BREAKS="3 17" keeps those numbers; ALL=1 names
# every failing settings case instead of the first three.
if [ -n "${ONLY:-}${BREAKS:-}" ]; then
    for i in "${!names[@]}"; do
        keep=
        for prefix in ${ONLY:-}; do [[ ${files[$i]} == "$prefix"* ]] && keep=1; done
        for n in ${BREAKS:-}; do [ "$n" = "$((i + 1))" ] && keep=1; done
        [ -n "$keep" ] || unset "names[$i]" "files[$i]" "finds[$i]" "replaces[$i]"
    done
fi
# A few hundred kills during a save prove nothing more about a break than a few dozen.
export TARSUN_KILLS=${TARSUN_KILLS:-20}
export TARSUN_RACE_ROUNDS=${TARSUN_RACE_ROUNDS:-100}

for i in "${!names[@]}"; do
    replace_once "$src/${files[$i]}" "${finds[$i]}" "${replaces[$i]}" check ||
        { echo "break '${names[$i]}' no longer fits the code" >&2; exit 1; }
done

# The failing tests of the last ctest run, with the Qt Test functions that failed.
failures() {
    "$py" - "$build/junit.xml" <<'EOF'
import os, re, sys, xml.etree.ElementTree as ET
out = []
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    if case.get("status") == "run" and case.find("failure") is None:
        continue
    if case.get("status") in ("notrun", "disabled") and case.find("failure") is None:
        continue
    log = case.findtext("system-out") or ""
    fns = sorted(set(re.findall(r"^FAIL!  : \w+::(\w+)", log, re.M)))
    timeout = "Timeout" in log or case.get("status") == "timeout"
    out.append(case.get("name") + (f" ({', '.join(fns)})" if fns else "") + (" [timeout]" if timeout and not fns else ""))
settings = [o for o in out if "." in o.split(" ")[0] and not o.startswith("startup.")]
rest = [o for o in out if o not in settings]
if len(settings) > 3 and not os.environ.get("ALL"):
    settings = settings[:3] + [f"+{len(settings) - 3} more settings cases"]
print("<br>".join(rest + settings) if out else "SURVIVED")
EOF
}

run_tests() {
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j"$jobs" --timeout 60 \
        --output-junit "$build/junit.xml" >"$build/ctest.log" 2>&1 || true
}

echo "building the unbroken copy in $work" >&2
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARSUN_SANITIZE=OFF -DTARSUN_NPM_CACHE="$PWD/build/npm" \
    -DTARSUN_BUILD_BENCH=OFF >"$work/configure.log"
cmake --build "$build" -j"$jobs" >"$work/build.log" || { cat "$work/build.log" >&2; exit 1; }
run_tests
# Only what ctest runs is rebuilt after each break.
mapfile -t targets < <(ctest --test-dir "$build" --show-only=json-v1 |
    "$py" -c 'import json, sys, os; print("\n".join(sorted({os.path.basename(t["command"][0]) for t in json.load(sys.stdin)["tests"]})))')
if [ "$(failures)" != SURVIVED ]; then
    echo "the unbroken copy fails its tests already: $(failures)" >&2
    exit 1
fi

echo "| # | Break | File | Failing tests |"
echo "|---|---|---|---|"
caught=0
for i in "${!names[@]}"; do
    file=$src/${files[$i]}
    cp -p "$file" "$work/original"
    replace_once "$file" "${finds[$i]}" "${replaces[$i]}" apply
    echo "[$((i + 1))] ${names[$i]}" >&2
    if cmake --build "$build" -j"$jobs" --target "${targets[@]}" >"$work/build.log" 2>&1; then
        run_tests
        result=$(failures)
    else
        result="BUILD FAILED"
    fi
    case $result in SURVIVED | "BUILD FAILED") ;; *) caught=$((caught + 1)) ;; esac
    echo "| $((i + 1)) | ${names[$i]} | ${files[$i]} | $result |"
    # A fresh time stamp, so the next build puts the unbroken file back.
    cp "$work/original" "$file"
    touch "$file"
done
echo
echo "Caught $caught of ${#names[@]} breaks."
