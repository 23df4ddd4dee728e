#include "app/Startup.h"

#include <QApplication>
#include <QMainWindow>

namespace torvane {

int runTorvane(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("Ostrel - Torvane v2.0"));
    w.show();
    return app.exec();
}

} // namespace torvane
