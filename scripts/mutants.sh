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
    'shown_[index(s)] = std::clamp(value, info.minimum, info.maximum);' \
    'shown_[index(s)] = value;'
brk "percent text divided by 10" settings/EditorState.cpp \
    'std::string text = std::to_string(value / 100);' \
    'std::string text = std::to_string(value / 10);'
brk "control characters allowed in bot names" settings/EditorState.cpp \
    'if (isControl(c)) return NameProblem::ControlCharacter;' \
    'if (false && isControl(c)) return NameProblem::ControlCharacter;'
brk "friendly fire and bot groups swapped" settings/ModWriter.cpp \
    'file == ModFile::ServerSettings ? groups.FriendlyFire : groups.BotSettings;' \
    'file == ModFile::ServerSettings ? groups.BotSettings : groups.FriendlyFire;'
brk "read-only file replaced" settings/ModFiles.cpp \
    'if ((old.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {' \
    'if (false) {'
brk "hexadecimal read as decimal" settings/PythonText.cpp \
    "int base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 0;" \
    "int base = p == 'x' ? 10 : p == 'o' ? 8 : p == 'b' ? 2 : 0;"
brk "leading zeros taken as a literal" settings/PythonText.cpp \
    "if (intDigits.size() > 1 && intDigits[0] == '0' && intDigits.find_first_not_of('0') != std::string::npos)" \
    'if (false)'
brk "a later augmented assignment ignored" settings/PythonText.cpp \
    'targets(field(n, "left"), Kind::Augmented);' \
    ';'
brk "the inner name of a chain taken as plain" settings/PythonText.cpp \
    'const bool chained = typeOf(right) == "assignment" || typeOf(ts_node_parent(n)) == "assignment";' \
    'const bool chained = typeOf(right) == "assignment";'
brk "a binding inside a block taken as plain" settings/PythonText.cpp \
    'else if (typeOf(ts_node_parent(s)) != "module" || e->kind == Kind::Global)' \
    'else if (e->kind == Kind::Global)'
brk "a second from qmr line taken as the header's end" settings/PythonText.cpp \
    'if (!header && !isNull(name) &&' \
    'if (!isNull(name) &&'
brk "the first binding holds" settings/PythonText.cpp \
    'if (e.at >= endOf(*header) && (e.kind != Kind::Global || !last.count(e.name))) last[e.name] = &e;' \
    'if (e.at >= endOf(*header) && !last.count(e.name)) last[e.name] = &e;'
brk "a fraction taken as the whole number shown" settings/PythonText.cpp \
    'return integer || static_cast<double>(r) == real;' \
    'return true;'
brk "only the value's first character replaced" settings/EditorState.cpp \
    'entry.Value = {b.valueBegin - headerEnd, b.valueEnd - b.valueBegin};' \
    'entry.Value = {b.valueBegin - headerEnd, b.valueEnd > b.valueBegin ? 1u : 0u};'
brk "two characters swapped in the code page table" settings/CodePage.cpp \
    '0x2013, 0x2014, 0x02DC' \
    '0x2014, 0x2013, 0x02DC'
brk "setting edit rewrites the whole line" settings/ModWriter.cpp \
    'edits.push_back({line.Value, bare ? " " + value : value});' \
    'edits.push_back({line.Line, std::string(info.command) + " " + value});'
brk "stamp always trusted" settings/ModFiles.cpp \
    'const bool trustStamp = !request.stamp.racy && checked.sameAs(request.stamp);' \
    'const bool trustStamp = true;'
brk "a change at the last moment not put back" settings/ModFiles.cpp \
    '        if (lateChange) {' \
    '        if (false) {'
brk "link pointed elsewhere written through" settings/ModFiles.cpp \
    'if (*now != request.stamp.resolved) return changedElsewhere(' \
    'if (false) return changedElsewhere('
brk "the system's access test skipped" settings/ModFiles.cpp \
    'if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {' \
    'if (false) {'
brk "the only copy deleted" settings/ModFiles.cpp \
    'std::string kept = "; the saved file is kept as " + temp->path.string();' \
    'removeFile(temp->path); std::string kept;'
brk "leftovers kept" settings/ModFiles.cpp \
    'if (auto pid = pidInName(entry); pid && !processRuns(*pid)) removeFile(it->path());' \
    'if (false) removeFile(it->path());'
brk "temporary name pattern too loose" settings/ModFiles.cpp \
    'return tail.size() == 6 && std::all_of' \
    'return tail.size() >= 6 && std::all_of'
brk "an edited line another program changed is merged anyway" settings/LineMerge.cpp \
    'if (to < 0) return std::nullopt;' \
    'if (to < 0) continue;'
brk "a merge whose edit no longer holds is written" settings/ModWriter.cpp \
    'if (rebased && file != ModFile::BotNames && !editsHoldIn(state, file, *rebased)) return std::nullopt;' \
    ';'

brk "bot name written as typed, not in the code page" settings/ModWriter.cpp \
    'edits.push_back({state.botLine(entry), std::string(BotNamePrefix) + *bytes});' \
    'edits.push_back({state.botLine(entry), std::string(BotNamePrefix) + name});'
brk "bot name shown as the file's bytes" settings/EditorState.cpp \
    'return codePage_.decode(botLines_.at(entry).in(BotFile.Text).substr(BotNamePrefix.size()));' \
    'return std::string(botLines_.at(entry).in(BotFile.Text).substr(BotNamePrefix.size()));'
brk "file names matched in their exact letter case" settings/ModFiles.cpp \
    'return lower(x) == lower(y);' \
    'return x == y;'
brk "a device read as a file" settings/ModFiles.cpp \
    'if (!S_ISREG(before.st_mode)) return fail("it is not an ordinary file");' \
    'if (false) return fail("it is not an ordinary file");'
brk "settings not taken back after a save" settings/ModWriter.cpp \
    '[&](const FileStamp& stamp) { state.settingsWritten(file, patch, stamp); });' \
    '[&](const FileStamp&) {});'
brk "a longer command read as the setting" settings/EditorState.cpp \
    '(line.size() == command.size() || isBlank(line[command.size()])) &&' \
    'true &&'
brk "bot skill of 100 written as 1.0" settings/EditorState.cpp \
    'if (hundredths != 0) {' \
    'if (true) {'
# The windows.
brk "exit question reworded" windows/FormMain.cpp \
    'dialogs_.askYesNo(this, QStringLiteral("Do you want to exit?"))' \
    'dialogs_.askYesNo(this, QStringLiteral("Do you want to quit?"))'
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
    'settingChanged(Setting::SoldierFF, labelSFD_,' \
    'settingChanged(Setting::VehicleFF, labelSFD_,'
brk "SSD spinner writes the VSD caption" windows/FormMain.cpp \
    'settingChanged(Setting::SoldierSplashFF, labelSSD_,' \
    'settingChanged(Setting::SoldierSplashFF, labelVSD_,'
brk "spinners stop at 99" windows/FormMain.cpp \
    'spinner->setRange(0, 100);' \
    'spinner->setRange(0, 99);'
brk "max bots slider starts at 0" windows/FormMain.cpp \
    'twipsRect(3840, 2520, 2655, 495), 1, 256);' \
    'twipsRect(3840, 2520, 2655, 495), 0, 256);'
brk "bot skill slider starts at 1" windows/FormMain.cpp \
    'twipsRect(3840, 1680, 2655, 495), 0, 100);' \
    'twipsRect(3840, 1680, 2655, 495), 1, 100);'
brk "tab order starts at the bot skill" windows/FormMain.cpp \
    'order{listBotNames_, sliderMaxBots_, sliderBotSkill_,' \
    'order{listBotNames_, sliderBotSkill_, sliderMaxBots_,'
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
    'vScrollNum_->setRange(std::min(ScoreMinimum, value), std::max(ScoreMaximum, value));' \
    'vScrollNum_->setRange(ScoreMinimum, ScoreMaximum);'
brk "bot names one character shorter" windows/FormEdit.cpp \
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

brk "a slider pages by ten" windows/FormMain.cpp \
    'slider->setPageStep(5);' \
    'slider->setPageStep(10);'
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
    'gameFolder + separator + QStringLiteral("mods") + separator;' \
    'gameFolder + separator + QStringLiteral("mods");'
brk "mods folder only in lower case" startup/StartUp.cpp \
    'found && FolderExists(*found))' \
    'found && false)'
brk "root loses its separator" startup/FolderBrowseDialog.cpp \
    'QString clean = QDir::cleanPath(QFileInfo(text).absoluteFilePath());' \
    'QString clean = QDir::cleanPath(QFileInfo(text).absoluteFilePath());
    if (clean.endsWith(QLatin1Char('\''/'\''))) clean.chop(1);'
brk "mods sorted by letter case" startup/General.cpp \
    'QString::compare(keys[a], keys[b], Qt::CaseInsensitive)' \
    'QString::compare(keys[a], keys[b], Qt::CaseSensitive)'
brk "folder test ignores a NUL" startup/General.cpp \
    'if (path.empty() || path.native().find(fs::path::value_type{}) != fs::path::string_type::npos)' \
    'if (path.empty())'
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

# ONLY=settings/ keeps the breaks of the files whose path begins so.
if [ -n "${ONLY:-}" ]; then
    for i in "${!names[@]}"; do
        [[ ${files[$i]} == "$ONLY"* ]] || unset "names[$i]" "files[$i]" "finds[$i]" "replaces[$i]"
    done
fi
# A few hundred kills during a save prove nothing more about a break than a few dozen.
export TARSUN_KILLS=${TARSUN_KILLS:-20}

for i in "${!names[@]}"; do
    replace_once "$src/${files[$i]}" "${finds[$i]}" "${replaces[$i]}" check ||
        { echo "break '${names[$i]}' no longer fits the code" >&2; exit 1; }
done

# The failing tests of the last ctest run, with the Qt Test functions that failed.
failures() {
    "$py" - "$build/junit.xml" <<'EOF'
import re, sys, xml.etree.ElementTree as ET
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
if len(settings) > 3:
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
