#include <QApplication>

namespace torvane::test {
int runResizerTests(int argc, char** argv);
int runWidgetFormAccessTests(int argc, char** argv);
} // namespace torvane::test

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int failures = torvane::test::runResizerTests(argc, argv) + torvane::test::runWidgetFormAccessTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
