#include "ResizerTest.h"
#include "WidgetFormAccessTest.h"

#include <QApplication>
#include <QTest>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    {
        torvane::test::ResizerTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        torvane::test::WidgetFormAccessTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
