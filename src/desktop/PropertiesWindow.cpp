#include "desktop/PropertiesWindow.h"

#include "fs/Keys.h"
#include "fs/LongPath.h"
#include "fs/MountTable.h"
#include "fs/WalkIo.h"
#include "desktop/TrashTree.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace torvane {

using walkio::Fd;

namespace {

// The entry at a path of any length, reached through its folder: a folder deeper than PATH_MAX
// is opened component by component, and every later call is relative to that descriptor.
struct Entry {
    Fd folder;
    QByteArray folderPath;   // with no links
    QByteArray name;         // "." for "/"
    struct stat st {};
    bool known = false;

    // The entry's own path with its folder's links resolved.
    QByteArray realPath() const { return name == "." ? folderPath : joinPath(folderPath, name); }
};

Entry lookUp(const QByteArray& path)
{
    Entry entry;
    if (path.isEmpty())
        return entry;
    const PathParts parts = splitPath(path);
    entry.folder = Fd(resolveFolder(parts.folder, entry.folderPath));
    entry.name = parts.name;
    entry.known = entry.folder.valid()
        && ::fstatat(entry.folder.get(), entry.name.constData(), &entry.st, AT_SYMLINK_NOFOLLOW) == 0;
    return entry;
}

bool contains(const QByteArray& mountPoint, const QByteArray& path)
{
    if (mountPoint == "/")
        return path.startsWith('/');
    return path == mountPoint || path.startsWith(mountPoint + '/');
}

QString userName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    group gr{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

QString permissionsText(mode_t mode)
{
    QString text = S_ISDIR(mode) ? QStringLiteral("d") : S_ISLNK(mode) ? QStringLiteral("l") : QStringLiteral("-");
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    auto special = [&text](int at, bool set, char withX, char withoutX) {
        if (set)
            text[at] = text[at] == QLatin1Char('x') ? QLatin1Char(withX) : QLatin1Char(withoutX);
    };
    special(3, mode & S_ISUID, 's', 'S');
    special(6, mode & S_ISGID, 's', 'S');
    special(9, mode & S_ISVTX, 't', 'T');
    return QStringLiteral("%1 (%2)").arg(text).arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

QString timeText(const timespec& t)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(t.tv_sec);
    const QLocale locale;
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(when.time(), QLocale::LongFormat);
}

QString sizeText(quint64 bytes)
{
    return QStringLiteral("%1 MB (%2 bytes)")
        .arg(QString::number(double(bytes) / 1024.0 / 1024.0, 'f', 2), QLocale().toString(bytes));
}

QString fileSystemText(const Entry& entry)
{
    if (!entry.known)
        return {};
    const QString text = mountDescription(readMountTable(), entry.realPath());
    if (!text.isEmpty())
        return text;
    const Fd fd(::openat(entry.folder.get(), entry.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct statfs fs;
    if (fd.valid() && ::fstatfs(fd.get(), &fs) == 0)
        return QStringLiteral("type 0x%1").arg(qulonglong(fs.f_type), 0, 16);
    return {};
}

} // namespace

QString mountDescription(const std::vector<MountEntry>& mounts, const QByteArray& path)
{
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        // A later mount on the same point hides the earlier one, so ties go to the later entry.
        if (contains(m.mountPath, path) && (!best || m.mountPath.size() >= best->mountPath.size()))
            best = &m;
    }
    if (!best)
        return {};
    return QStringLiteral("%1 (%2) at %3")
        .arg(QString::fromUtf8(best->fsType), displayName(best->device), displayName(best->mountPath));
}

PropertiesWindow::PropertiesWindow(const QByteArray& path, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const QByteArray name = lastComponent(path);
    const QString shownName = displayName(name.isEmpty() ? path : name);
    setWindowTitle(tr("Properties of %1").arg(shownName));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    auto add = [this, form](const QString& label, const QString& objectName, const QString& text) {
        auto* value = new QLabel(text, this);
        value->setObjectName(objectName);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, value);
        return value;
    };

    Entry entry = lookUp(path);
    const bool known = entry.known;
    const struct stat& st = entry.st;
    const QString calculating = tr("Calculating…");
    add(tr("Name:"), QStringLiteral("name"), shownName);
    add(tr("Path:"), QStringLiteral("path"), displayName(path))->setWordWrap(true);
    size_ = add(tr("Size:"), QStringLiteral("size"), calculating);
    folders_ = add(tr("Folders:"), QStringLiteral("folders"), calculating);
    files_ = add(tr("Files:"), QStringLiteral("files"), calculating);
    add(tr("Owner:"), QStringLiteral("owner"),
        known ? QStringLiteral("%1, group %2").arg(userName(st.st_uid), groupName(st.st_gid)) : QString());
    add(tr("Permissions:"), QStringLiteral("permissions"), known ? permissionsText(st.st_mode) : QString());
    add(tr("Modified:"), QStringLiteral("modified"), known ? timeText(st.st_mtim) : QString());
    add(tr("Accessed:"), QStringLiteral("accessed"), known ? timeText(st.st_atim) : QString());
    add(tr("File system:"), QStringLiteral("fileSystem"), fileSystemText(entry));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);

    connect(this, &PropertiesWindow::totalsReady, this, &PropertiesWindow::showTotals, Qt::QueuedConnection);
    // The walk runs relative to the folder's descriptor, which it owns until it is done.
    worker_ = std::thread([this, folder = std::move(entry.folder), name = entry.name] {
        TreeTotals totals;
        if (folder.valid())
            totals = measureTree(folder.get(), name, &stop_);
        else
            totals.error = ENOENT;
        if (!stop_.load())
            emit totalsReady(totals.bytes, totals.folders, totals.files, totals.error);
    });
}

PropertiesWindow::~PropertiesWindow()
{
    // The walk checks the flag between entries, so closing a window on a huge folder waits for
    // one directory read at most.
    stop_.store(true);
    if (worker_.joinable())
        worker_.join();
}

void PropertiesWindow::showTotals(quint64 bytes, quint64 folders, quint64 files, int error)
{
    QString size = sizeText(bytes);
    if (error != 0)
        size += tr(" (some entries could not be read: %1)").arg(QString::fromLocal8Bit(std::strerror(error)));
    size_->setText(size);
    folders_->setText(QLocale().toString(folders));
    files_->setText(QLocale().toString(files));
}

PropertiesWindow* showPropertiesWindow(const QByteArray& path, QWidget* parent)
{
    if (!lookUp(path).known)
        return nullptr;
    auto* window = new PropertiesWindow(path, parent);
    window->show();
    return window;
}

} // namespace torvane
