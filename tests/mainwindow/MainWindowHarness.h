#pragma once

// The main window on fakes, as both main window test programs use it.
#include "mainwindow/MainWindow.h"
#include "mainwindow/Services.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "support/ClippedCaptions.h"
#include "support/FakeAppInfo.h"
#include "support/FakeFileSystem.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <thread>

using namespace torvane;
using namespace torvane::test;

namespace mainwindowtest {

constexpr std::uint64_t MB = 1024 * 1024;

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
        Services s;
        s.fileSystem = &fs;
        s.shell = &shell;
        s.prompter = &prompter;
        s.appInfo = &appInfo;
        w = std::make_unique<MainWindow>(s, [this] { ++ended; });
        w->show();
        w->startUp();
    }
    template <typename T>
    T* find(const char* name) const { return w->findChild<T*>(QLatin1String(name)); }
    QTreeWidget* tree() const { return find<QTreeWidget>("trvDir"); }
    QTreeWidgetItem* node(const QByteArray& key) const { return w->tree().find(key); }
    void select(const QByteArray& key) { tree()->setCurrentItem(node(key)); }
    void expand(const QByteArray& key) { node(key)->setExpanded(true); }
    QAction* action(const char* name) const { return find<QAction>(name); }
    void rightClick(const QByteArray& key)
    {
        const QRect r = tree()->visualItemRect(node(key));
        QTest::mouseClick(tree()->viewport(), Qt::RightButton, {}, r.center());
    }
    QByteArray log() const
    {
        QFile f(dir.path() + QStringLiteral("/torvane.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
};

inline QStringList entries(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text() + QLatin1Char('|') + a->shortcut().toString());
    return out;
}

} // namespace mainwindowtest

using namespace mainwindowtest;
