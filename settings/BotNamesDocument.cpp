#include "BotNamesDocument.h"

#include "ModTables.h"

namespace tarsun {

namespace {

bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

}  // namespace

std::string describe(NameProblem problem) {
    switch (problem) {
    case NameProblem::None: return {};
    case NameProblem::ControlCharacter:
        return "A bot name cannot hold a line break, a tab or another control character.";
    case NameProblem::NotEncodable: return "The bot name holds a character that the mod's files cannot store.";
    case NameProblem::InvalidText: return "The bot name is not valid text.";
    }
    return {};
}

void BotNamesDocument::adopt(FileBytes file) {
    lines_.clear();
    edited_.clear();
    std::string_view text = file.Text;
    // Room for exactly the declaring lines: counted first, since a list grown entry by
    // entry would copy 100,000 names' places over and over.
    std::size_t count = 0;
    for (std::size_t at = text.find(BotNamePrefix); at != std::string_view::npos;
         at = text.find(BotNamePrefix, at + BotNamePrefix.size())) {
        count += at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r';
    }
    lines_.reserve(count);
    forEachLine(text, [&](LineRef ref, std::size_t) {
        if (ref.in(text).substr(0, BotNamePrefix.size()) == BotNamePrefix) lines_.push_back(ref);
    });
    file_ = std::move(file);
}

std::string BotNamesDocument::name(std::size_t entry) const {
    if (auto it = edited_.find(entry); it != edited_.end()) return it->second;
    return savedName(entry);
}

std::string BotNamesDocument::savedName(std::size_t entry) const {
    return codePage_.decode(lines_.at(entry).in(file_.Text).substr(BotNamePrefix.size()));
}

NameProblem BotNamesDocument::check(std::string_view name) const {
    // Control characters first: a line break is reported as such, not as a code-page gap.
    for (std::size_t i = 0; i < name.size();) {
        char32_t c;
        if (!readUtf8(name, i, c)) return NameProblem::InvalidText;
        if (isControl(c)) return NameProblem::ControlCharacter;
    }
    if (!codePage_.encode(name)) return NameProblem::NotEncodable;
    return NameProblem::None;
}

NameProblem BotNamesDocument::setName(std::size_t entry, std::string name) {
    NameProblem problem = check(name);
    if (problem != NameProblem::None) return problem;
    if (name == savedName(entry)) {
        edited_.erase(entry);
    } else {
        edited_[entry] = std::move(name);
    }
    return problem;
}

Expected<TextPatch> BotNamesDocument::edits(const ShownValues&) const {
    std::vector<TextPatch::Edit> edits;
    for (const auto& [entry, name] : edited_) {
        auto bytes = codePage_.encode(name);
        if (!bytes) return Failure{"bot name " + std::to_string(entry + 1) + " holds a character the file cannot store"};
        edits.push_back({lines_[entry], std::string(BotNamePrefix) + *bytes});
    }
    return TextPatch(std::move(edits));
}

Expected<std::unique_ptr<ModDocument>> BotNamesDocument::judge(FileBytes merged, const ShownValues&) const {
    // A name holds wherever its line does: the merge has seen to that.
    auto doc = std::make_unique<BotNamesDocument>(codePage_);
    doc->adopt(std::move(merged));
    return doc;
}

void BotNamesDocument::replaceBy(ModDocument&& merged, const FileStamp& stamp) {
    *this = std::move(dynamic_cast<BotNamesDocument&>(merged));
    file_.Stamp = stamp;
}

void BotNamesDocument::written(const TextPatch& patch, const FileStamp& stamp, const ShownValues&) {
    for (LineRef& line : lines_) line = patch.moved(line);
    edited_.clear();
    patch.applyInPlace(file_.Text);
    file_.Stamp = stamp;
}

}  // namespace tarsun
