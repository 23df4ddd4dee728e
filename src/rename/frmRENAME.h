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
class frmRENAME final : public QDialog {
    Q_OBJECT

public:
    frmRENAME(Prompter& prompter, RenameHost& host, QWidget* parent = nullptr);

    // Dir1's current folder; the file list follows it.
    void setFolder(const QByteArray& path);
    QByteArray folder() const { return folder_; }
    bool running() const { return running_; }

    // Handlers, public so the controls and the tests reach the same code.
    void cmdSELECTED_Click();
    void cmdALL_Click();
    void cmdCLose_Click();

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
    void Dir1_Change();
    void Dir1_Open(QListWidgetItem* item);
    void File1_Click(QListWidgetItem* item);
    void File1_DblClick(QListWidgetItem* item);
    void FixParenCase();
    void fillDir1();
    void fillFile1();
    std::vector<Entry> file1Entries() const;
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

} // namespace torvane
