#pragma once

// The main window on fakes, as both main window test programs use it.
#include "mainwindow/MainWindow.h"
#include "mainwindow/Services.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "support/FakeAppInfo.h"
#include "support/FakeFileSystem.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace torvane;
using namespace torvane::test;

namespace mainwindowtest {

constexpr std::uint64_t MB = 1024 * 1024;

// Settings and kept scans of the tests' own, not the user's, and not shared with the other test
// programs of the main window, which ctest runs side by side.
inline void useTestSettings()
{
    static QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
}

struct Harness {
    QTemporaryDir dir;
    FakeFileSystem fs;
    FakeShell shell;
    FakePrompter prompter;
    FakeAppInfo appInfo;
    int ended = 0;
    std::unique_ptr<MainWindow> w;

    explicit Harness(const QString& appFolder = QString()) : appInfo(appFolder.isEmpty() ? dir.path() : appFolder)
    {
        fs.addVolume("/data", {true, 1024 * MB, 512 * MB});
        fs.addFolder("/data/a/b/c/d", MB);
        fs.addFolder("/data/a/e", MB);
        fs.addFolder("/data/a/b", 3 * MB);
        fs.addFolder("/data/z", 2 * MB);
        w = std::make_unique<MainWindow>(Services{&fs, &shell, &prompter, nullptr, &appInfo}, [this] { ++ended; });
        w->show();
        w->startUp();
    }
    template <typename T>
    T* find(const char* name) const { return w->findChild<T*>(QLatin1String(name)); }
    QTreeWidget* tree() const { return find<QTreeWidget>("trvDir"); }
    QTreeWidgetItem* node(const QByteArray& key) const { return w->tree().find(key); }
    QByteArray selected() const { return w->tree().selectedKey(); }
    QString status() const { return w->status().text(); }
    void select(const QByteArray& key) { tree()->setCurrentItem(node(key)); }
    void expand(const QByteArray& key) { node(key)->setExpanded(true); }
    QAction* action(const char* name) const { return find<QAction>(name); }
    void rightClick(const QByteArray& key)
    {
        QTest::mouseClick(tree()->viewport(), Qt::RightButton, {}, tree()->visualItemRect(node(key)).center());
    }
    QByteArray file(const char* name) const
    {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    QByteArray log() const { return file("torvane.log"); }
};

} // namespace mainwindowtest

using namespace mainwindowtest;
