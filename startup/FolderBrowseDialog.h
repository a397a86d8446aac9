#pragma once

// The folder-browse dialog where the Windows shell's is not available: the prompt above a
// tree of the file-system roots, a field where a path can be typed, and OK only while the
// field names a folder that exists.

#include <QDialog>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace tarsun {

class FolderBrowseDialog : public QDialog {
    Q_OBJECT
public:
    // Opens with startFolder chosen; with none, the home folder in view and nothing chosen.
    explicit FolderBrowseDialog(const QString& prompt, const QString& startFolder = {}, QWidget* parent = nullptr);

    // The confirmed folder, absolute, with native separators: a root keeps its separator,
    // any other folder has none at its end.
    QString chosenFolder() const;

    // The same rule for any text naming a folder.
    static QString normalisedFolder(const QString& text);

private:
    void createWidgets(const QString& prompt);
    void showFolderInTree(const QString& path, bool select);
    void keepInView();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void treeSelectionChanged();
    void folderTextChanged(const QString& text);

    QLabel* prompt_ = nullptr;
    QTreeView* tree_ = nullptr;
    QFileSystemModel* model_ = nullptr;
    QLineEdit* folderText_ = nullptr;
    QPushButton* home_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    QPushButton* ok_ = nullptr;
    QString inView_;  // the folder kept in view while the model is still reading
};

}  // namespace tarsun
