#include <QApplication>

int runCaseRulesTests(int argc, char** argv);
int runRenameFileTests(int argc, char** argv);
int runRenameWindowTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failed = 0;
    failed += runCaseRulesTests(argc, argv);
    failed += runRenameFileTests(argc, argv);
    failed += runRenameWindowTests(argc, argv);
    return failed;
}
