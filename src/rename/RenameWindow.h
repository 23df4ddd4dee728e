#pragma once

#include "rename/CaseRules.h"

#include <QByteArray>
#include <QDialog>

#include <vector>

class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

namespace torvane {

class Prompter;
class RenameHost;

// The rename window: a folder list, its files, the case choice and the two rename commands.
class RenameWindow final : public QDialog {
    Q_OBJECT

public:
    RenameWindow(Prompter& prompter, RenameHost& host, QWidget* parent = nullptr);

    // Dir1's current folder; the file list follows it.
    void setFolder(const QByteArray& path);
    QByteArray folder() const { return folder_; }
    bool running() const { return running_; }

    // Handlers, public so the controls and the tests reach the same code.
    void renameSelectedClicked();
    void renameAllClicked();
    void closeClicked();

protected:
    void reject() override;

private:
    struct Entry {
        QByteArray name;
        bool selected;
    };
    class RunScope;

    void createControls();
    void setTabOrder();
    void folderChanged();
    void folderActivated(QListWidgetItem* item);
    void fileClicked(QListWidgetItem* item);
    void fileDoubleClicked(QListWidgetItem* item);
    void fixParenCase();
    void fillFolderList();
    void fillFileList();
    std::vector<Entry> fileEntries() const;
    CaseChoice chosenCase() const;
    void renameEntry(const QByteArray& folder, const QByteArray& name, CaseChoice choice, bool parenRule);

    Prompter& prompter_;
    RenameHost& host_;
    QByteArray folder_ = "/";
    bool running_ = false;

    QGroupBox* Frame2_ = nullptr;
    QListWidget* Dir1_ = nullptr;
    QListWidget* File1_ = nullptr;
    QGroupBox* frmOptions_ = nullptr;
    QRadioButton* optCASES_[3] = {};
    QPushButton* cmdSELECTED_ = nullptr;
    QPushButton* cmdALL_ = nullptr;
    QPushButton* cmdCLose_ = nullptr;
    QLineEdit* txtNAME_ = nullptr;
};

// The opening handler of cmdRename and mRename. file1 is the key the main window keeps in File1:
// nothing happens when it is empty (no folder selected); a folder that is gone gets a box and no
// window; otherwise the rename window runs modally on that folder, the root "/" included.
void openRenameWindow(QWidget* parent, Prompter& prompter, RenameHost& host, const QByteArray& file1);

} // namespace torvane
