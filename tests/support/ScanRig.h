#pragma once

#include "fs/FileSystem.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "support/FakePrompter.h"
#include "support/Files.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>

namespace torvane::test {

// The main window's controls that a scan writes, wired to a file system of the test's choosing,
// with the report in a temporary application folder. Header-only: the support library itself
// does not link the scan.
struct ScanRig {
    QTemporaryDir dir;
    FakePrompter prompter;
    QTreeWidget view;
    QPlainTextEdit text;
    QProgressBar bar;
    FolderTree tree{&view};
    StatusBox status{&text};
    QByteArray drive;
    bool timerOn = false;
    std::unique_ptr<DriveScanner> scanner;

    ScanRig(FileSystem& fs, const QByteArray& volume) : drive(volume)
    {
        ScanControls c{&tree, &status, &bar, [this] { return drive; }, [this](const QByteArray& d) { drive = d; },
                       [this](bool on) { timerOn = on; }};
        scanner = std::make_unique<DriveScanner>(fs, prompter, std::move(c), reportPath());
    }
    QString reportPath() const { return dir.path() + QStringLiteral("/xmlOutput.xml"); }
    QByteArray report() const { return readFile(reportPath()); }
};

} // namespace torvane::test
