#include "rename/RenameWindow.h"

#include "desktop/Events.h"
#include "fs/Keys.h"
#include "fs/PlatformError.h"
#include "desktop/Prompter.h"
#include "fs/RenameNoReplace.h"
#include "desktop/Twips.h"
#include "desktop/BusyCursor.h"
#include "rename/FolderLists.h"
#include "rename/RenameFile.h"
#include "rename/RenameHost.h"
#include "rename/ReplaceText.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace torvane {

namespace {

constexpr int kNameRole = Qt::UserRole;

// Names the control and puts it at its designed place (twips, relative to its container).
template <typename W>
W* placed(W* widget, const char* name, int left, int top, int width, int height, const QFont& font)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(twipsRect(left, top, width, height));
    widget->setFont(font);
    return widget;
}

// The width the style leaves for a button's caption inside its frame.
int captionRoom(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (button->autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
}

// The designed bold font, or the largest quarter point below it at which every caption of the
// row fits its button: the buttons keep their designed size, and a caption wider than its button
// loses letters at both ends. The row shares one size so that its buttons look alike. With
// DejaVu Sans, the usual Linux sans-serif, "Rename the Entire Folder(s)" needs 8.5 pt.
void fitCaptions(const QList<QPushButton*>& row, QFont font)
{
    constexpr double kSmallestPointSize = 7.5;
    auto fits = [&row](const QFont& f) {
        const QFontMetrics metrics(f);
        return std::all_of(row.begin(), row.end(), [&metrics](const QPushButton* b) {
            return metrics.size(Qt::TextShowMnemonic, b->text()).width() <= captionRoom(b);
        });
    };
    while (!fits(font) && font.pointSizeF() - 0.25 >= kSmallestPointSize)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    for (QPushButton* b : row)
        b->setFont(font);
}

QListWidgetItem* listEntry(QListWidget* list, const QIcon& icon, const QString& text, const QByteArray& data)
{
    auto* item = new QListWidgetItem(icon, text, list);
    item->setData(kNameRole, data);
    return item;
}

} // namespace

// The state of a run: the options frame and both lists out of reach, the main window's timer on.
// The lists stay disabled so that nothing can change the folder or start a run inside the run.
class RenameWindow::RunScope {
public:
    explicit RunScope(RenameWindow& w) : w_(w)
    {
        w_.running_ = true;
        setControlsEnabled(false);
        w_.host_.setTimerEnabled(true);
    }
    ~RunScope()
    {
        setControlsEnabled(true);
        w_.host_.setTimerEnabled(false);
        w_.running_ = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    void setControlsEnabled(bool on)
    {
        w_.frmOptions_->setEnabled(on);
        w_.Dir1_->setEnabled(on);
        w_.File1_->setEnabled(on);
    }
    RenameWindow& w_;
};

RenameWindow::RenameWindow(Prompter& prompter, RenameHost& host, QWidget* parent)
    : QDialog(parent), prompter_(prompter), host_(host)
{
    setObjectName(QStringLiteral("frmRENAME"));
    setWindowTitle(QStringLiteral(" "));
    setFont(sansFont(9, false));
    setFixedSize(twipsToPixels(7350), twipsToPixels(5505));
    createControls();
    setTabOrder();
    connect(Dir1_, &QListWidget::itemActivated, this, &RenameWindow::folderActivated);
    connect(File1_, &QListWidget::itemClicked, this, &RenameWindow::fileClicked);
    connect(File1_, &QListWidget::itemDoubleClicked, this, &RenameWindow::fileDoubleClicked);
    connect(cmdSELECTED_, &QPushButton::clicked, this, &RenameWindow::renameSelectedClicked);
    connect(cmdALL_, &QPushButton::clicked, this, &RenameWindow::renameAllClicked);
    connect(cmdCLose_, &QPushButton::clicked, this, &RenameWindow::closeClicked);
    cmdSELECTED_->setFocus();
}

void RenameWindow::createControls()
{
    const QFont plain = sansFont(9, false);
    const QFont bold = sansFont(9, true);

    Frame2_ = placed(new QGroupBox(QStringLiteral(" Drive / Folders / Files"), this), "Frame2", 120, 120, 7095, 3855, bold);
    Dir1_ = placed(new QListWidget(Frame2_), "Dir1", 120, 360, 6825, 1290, plain);
    File1_ = placed(new QListWidget(Frame2_), "File1", 120, 1800, 6825, 1920, plain);
    File1_->setSelectionMode(QAbstractItemView::ExtendedSelection);

    frmOptions_ = placed(new QGroupBox(QStringLiteral(" Options "), this), "frmOptions", 120, 4080, 7095, 1335, bold);
    optCASES_[0] = placed(new QRadioButton(QStringLiteral("lower case"), frmOptions_), "optCASES_0", 120, 360, 2160, 210, bold);
    optCASES_[1] = placed(new QRadioButton(QStringLiteral("UPPER CASE"), frmOptions_), "optCASES_1", 2760, 360, 2160, 210, bold);
    optCASES_[2] = placed(new QRadioButton(QStringLiteral("Proper Case"), frmOptions_), "optCASES_2", 5160, 360, 1785, 210, bold);
    optCASES_[0]->setChecked(true);
    cmdSELECTED_ = placed(new QPushButton(QStringLiteral("Rename Selected File(s)"), frmOptions_), "cmdSELECTED", 120, 720, 2760, 465, bold);
    cmdALL_ = placed(new QPushButton(QStringLiteral("Rename the Entire Folder(s)"), frmOptions_), "cmdALL", 3000, 720, 2760, 465, bold);
    cmdCLose_ = placed(new QPushButton(QStringLiteral("Close"), frmOptions_), "cmdCLose", 5880, 720, 1095, 465, bold);
    // Enter in a list opens a folder there; it must not press a button as well.
    for (QPushButton* b : {cmdSELECTED_, cmdALL_, cmdCLose_})
        b->setAutoDefault(false);
    fitCaptions({cmdSELECTED_, cmdALL_, cmdCLose_}, bold);

    txtNAME_ = placed(new QLineEdit(this), "txtNAME", 240, 2880, 2595, 285, sansFont(8.25, false));
    txtNAME_->setEnabled(false);
    txtNAME_->hide();
}

void RenameWindow::setTabOrder()
{
    const QList<QWidget*> order{cmdSELECTED_, cmdALL_, cmdCLose_, optCASES_[0], optCASES_[1], optCASES_[2],
                                Dir1_, File1_, txtNAME_};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void RenameWindow::setFolder(const QByteArray& path)
{
    folder_ = plainFolderPath(path);
    fillFolderList();
    folderChanged();
}

// ---- events ---------------------------------------------------------------------------------

// Failure style: none needed; an unreadable folder lists no files.
void RenameWindow::folderChanged()
{
    fillFileList();
}

// Failure style: a folder that went away since it was listed is dropped from the list.
void RenameWindow::folderActivated(QListWidgetItem* item)
{
    const QByteArray path = item->data(kNameRole).toByteArray();
    if (!isFolder(path)) {
        fillFolderList();
        return;
    }
    setFolder(path);
}

void RenameWindow::fileClicked(QListWidgetItem* item)
{
    txtNAME_->setText(decodeName(item->data(kNameRole).toByteArray()));
}

void RenameWindow::fileDoubleClicked(QListWidgetItem*)
{
    renameSelectedClicked();
}

// Failure style: a file that cannot be renamed gets its line on top of the status text and
// still counts; the run goes on.
void RenameWindow::renameSelectedClicked()
{
    if (running_)
        return;
    const QByteArray folder = folder_;
    const std::vector<Entry> entries = fileEntries();
    const CaseChoice choice = chosenCase();
    qint32 count = 0;
    {
        const BusyCursor busy;
        const RunScope run(*this);
        EventThrottle events;
        for (const Entry& entry : entries) {
            if (entry.selected) {
                ++count;
                renameEntry(folder, entry.name, choice, choice == CaseChoice::Proper);
            }
            events.tick();
        }
    }
    prompter_.ask(QString::number(count) + QStringLiteral(" file(s) were renamed"), BoxIcon::Information, BoxButtons::Ok);
    fillFileList();
}

// Failure style: a file that cannot be renamed gets its line on top of the status text and
// still counts; the run goes on.
void RenameWindow::renameAllClicked()
{
    if (running_)
        return;
    const QByteArray folder = folder_;
    const std::vector<Entry> entries = fileEntries();
    const CaseChoice choice = chosenCase();
    {
        const RunScope run(*this);
        const BusyCursor busy;
        EventThrottle events;
        for (const Entry& entry : entries) {
            renameEntry(folder, entry.name, choice, false);
            events.tick();
        }
        fillFileList();
    }
    prompter_.ask(QString::number(entries.size()) + QStringLiteral(" files were renamed"), BoxIcon::Information,
                  BoxButtons::Ok);
}

void RenameWindow::closeClicked()
{
    close();
}

// Closing from the frame waits for the run to end: the run still needs the window's lists.
void RenameWindow::reject()
{
    if (!running_)
        QDialog::reject();
}

// ---- routines -------------------------------------------------------------------------------

void RenameWindow::fixParenCase()
{
    {
        const BusyCursor busy;
        QString name = txtNAME_->text();
        applyParenRule(name);
        txtNAME_->setText(name);
    }
    prompter_.ask(QStringLiteral("Complete!"), BoxIcon::Information, BoxButtons::Ok);
}

// Failure style: skip the step; an unreadable folder shows no subfolders.
void RenameWindow::fillFolderList()
{
    Dir1_->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    int depth = 0;
    QListWidgetItem* current = nullptr;
    for (const QByteArray& path : folderAncestry(folder_)) {
        const QString text = path == "/" ? QStringLiteral("/") : displayName(lastComponent(path));
        current = listEntry(Dir1_, open, QString(depth++ * 2, QLatin1Char(' ')) + text, path);
    }
    try {
        std::vector<QByteArray> names = readFolderEntries(folder_).folders;
        sortNamesForDisplay(names);
        for (const QByteArray& name : names)
            listEntry(Dir1_, closed, QString(depth * 2, QLatin1Char(' ')) + displayName(name), joinPath(folder_, name));
    } catch (const PlatformError&) {
    }
    Dir1_->setCurrentItem(current);
}

// Failure style: skip the step; an unreadable folder lists no files.
// Regular files only, hidden ones included (a dot file's name has letter case like any other);
// links, sockets and devices are left out: a case change is meant for the files themselves.
void RenameWindow::fillFileList()
{
    File1_->clear();
    try {
        std::vector<QByteArray> names = readFolderEntries(folder_).files;
        sortNamesForDisplay(names);
        for (const QByteArray& name : names)
            listEntry(File1_, QIcon(), displayName(name), name);
    } catch (const PlatformError&) {
    }
}

// The list as a run starts on it: names and selection, read once, so that nothing the list does
// meanwhile changes which files the run renames.
std::vector<RenameWindow::Entry> RenameWindow::fileEntries() const
{
    std::vector<Entry> entries;
    entries.reserve(std::size_t(File1_->count()));
    for (int i = 0; i < File1_->count(); ++i)
        entries.push_back({File1_->item(i)->data(kNameRole).toByteArray(), false});
    for (const QModelIndex& index : File1_->selectionModel()->selectedIndexes())
        entries[std::size_t(index.row())].selected = true;
    return entries;
}

CaseChoice RenameWindow::chosenCase() const
{
    if (optCASES_[1]->isChecked())
        return CaseChoice::Upper;
    if (optCASES_[2]->isChecked())
        return CaseChoice::Proper;
    return CaseChoice::Lower;
}

// The name goes through txtNAME, the working field the case rules edit.
void RenameWindow::renameEntry(const QByteArray& folder, const QByteArray& name, CaseChoice choice, bool parenRule)
{
    txtNAME_->setText(decodeName(name));
    txtNAME_->setText(convertCase(txtNAME_->text(), choice));
    if (parenRule)
        fixParenCase();
    renameFile(joinPath(folder, name), joinPath(folder, encodeName(txtNAME_->text())), host_);
}

// Failure style: a box when the folder is gone, and no window.
void openRenameWindow(QWidget* parent, Prompter& prompter, RenameHost& host, const QByteArray& file1)
{
    if (file1.isEmpty())
        return;
    if (!isFolder(file1)) {
        prompter.ask(QStringLiteral("The folder ") + displayName(file1) + QStringLiteral(" no longer exists."),
                     BoxIcon::Information, BoxButtons::Ok);
        return;
    }
    RenameWindow window(prompter, host, parent);
    window.setFolder(file1);
    window.exec();
}

} // namespace torvane
