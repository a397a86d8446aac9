#include "FolderBrowseDialog.h"

#include "General.h"
#include "Look.h"

#include <QAbstractFileIconProvider>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace tarsun {

namespace {

// Folders without icons or type names: the default provider looks each one up in the
// icon theme and the MIME database, and the first theme lookup alone reads every
// installed theme's index, a good part of the time to the dialog's first showing.
class PlainFolderIcons : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType) const override { return {}; }
    QIcon icon(const QFileInfo&) const override { return {}; }
    QString type(const QFileInfo&) const override { return {}; }
};

}  // namespace

FolderBrowseDialog::FolderBrowseDialog(const QString& prompt, const QString& startFolder, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Browse for Folder"));
    setObjectName(QStringLiteral("FolderBrowseDialog"));
    createWidgets(prompt);

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FolderBrowseDialog::treeSelectionChanged);
    connect(folderText_, &QLineEdit::textChanged, this, &FolderBrowseDialog::folderTextChanged);
    connect(tree_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &FolderBrowseDialog::keepInView);
    tree_->installEventFilter(this);
    tree_->viewport()->installEventFilter(this);
    connect(home_, &QPushButton::clicked, this,
            [this] { showFolderInTree(SpecialFolderPath(SpecialFolder::Profile), true); });
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // Without a start the home folder is in view but nothing is chosen, as the shell's
    // dialog opens on the drives with nothing confirmed.
    if (startFolder.isEmpty() || !FolderExists(toPath(startFolder)))
        showFolderInTree(SpecialFolderPath(SpecialFolder::Profile), false);
    else
        showFolderInTree(QDir::cleanPath(QFileInfo(startFolder).absoluteFilePath()), true);
    folderTextChanged(folderText_->text());
    // The field takes the first focus: a focused tree would choose its first root by itself.
    folderText_->setFocus();
    resize(420, 460);
    if (!parent)
        centreOnScreen(*this);  // nothing of the program is showing yet to centre it on
}

void FolderBrowseDialog::createWidgets(const QString& prompt) {
    prompt_ = new QLabel(this);
    prompt_->setObjectName(QStringLiteral("LabelPrompt"));
    prompt_->setTextFormat(Qt::PlainText);
    // The prompt's CR LF is its line break; a lone CR would show as a stray glyph.
    QString lines = prompt;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    prompt_->setText(lines);

    model_ = new QFileSystemModel(this);
    // The model's gatherer thread may still ask while the dialog is being torn down.
    static PlainFolderIcons* const icons = new PlainFolderIcons;
    model_->setIconProvider(icons);
    model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    model_->setReadOnly(true);
    // The model's empty root is the machine itself: the drives, or "/" on Unix.
    model_->setRootPath(SpecialFolderPath(SpecialFolder::Drives));

    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("TreeFolders"));
    // Hidden before the model comes, the header is never measured; and rows of one face
    // without icons need not be measured one by one at each layout.
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setModel(model_);
    tree_->setRootIndex(model_->index(SpecialFolderPath(SpecialFolder::Drives)));
    // Through the header: the view's own hideColumn lays out the whole tree each time.
    for (int column = 1; column < model_->columnCount(); ++column)
        tree_->header()->hideSection(column);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* folderLabel = new QLabel(tr("&Folder:"), this);
    folderText_ = new QLineEdit(this);
    folderText_->setObjectName(QStringLiteral("TextFolder"));
    folderLabel->setBuddy(folderText_);

    home_ = new QPushButton(tr("&Home"), this);
    home_->setObjectName(QStringLiteral("CommandHome"));
    home_->setAutoDefault(false);

    // Plain buttons rather than standard ones, which would fetch theme icons for
    // themselves (see PlainFolderIcons).
    buttons_ = new QDialogButtonBox(this);
    ok_ = buttons_->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName(QStringLiteral("CommandOK"));
    buttons_->addButton(tr("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("CommandCancel"));

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(folderText_, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(home_);
    buttonRow->addStretch(1);
    buttonRow->addWidget(buttons_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(tree_, 1);
    layout->addLayout(folderRow);
    layout->addLayout(buttonRow);
}

void FolderBrowseDialog::showFolderInTree(const QString& path, bool select) {
    const QModelIndex index = model_->index(path);
    if (!index.isValid())
        return;
    tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
    if (select)
        tree_->setCurrentIndex(index);  // also fills the folder field
    inView_ = path;
}

void FolderBrowseDialog::keepInView() {
    // The model reads the folders in the background, and the rows that come in above the
    // folder push it down: it is centred again each time, until the user takes over.
    if (!inView_.isEmpty())
        tree_->scrollTo(model_->index(inView_), QAbstractItemView::PositionAtCenter);
}

bool FolderBrowseDialog::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::Wheel || type == QEvent::KeyPress)
        inView_.clear();
    return QDialog::eventFilter(watched, event);
}

void FolderBrowseDialog::treeSelectionChanged() {
    const QModelIndex current = tree_->currentIndex();
    if (current.isValid())
        folderText_->setText(QDir::toNativeSeparators(model_->filePath(current)));
}

void FolderBrowseDialog::folderTextChanged(const QString& text) {
    const bool usable = !text.trimmed().isEmpty() && FolderExists(toPath(text));
    ok_->setEnabled(usable);
}

QString FolderBrowseDialog::chosenFolder() const {
    return normalisedFolder(folderText_->text());
}

QString FolderBrowseDialog::normalisedFolder(const QString& text) {
    if (text.isEmpty())
        return {};
    // cleanPath drops a trailing separator except from a root, which is the rule wanted.
    QString clean = QDir::cleanPath(QFileInfo(text).absoluteFilePath());
    return QDir::toNativeSeparators(clean);
}

}  // namespace tarsun
