#include "resize/Resizer.h"
#include "resize/WidgetFormAccess.h"

#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace torvane::test {

namespace {

using P = ControlProperty;

template <typename W>
W* placed(W* widget, const char* name, const QRect& geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// A small window: a frame holding a button and a tree, a separator line, a named label inside an
// unnamed panel, a timer, and things that are not controls of this form.
struct Form {
    QWidget root;
    QGroupBox* frame = placed(new QGroupBox(&root), "frmMain", {8, 10, 300, 200});
    QPushButton* button = placed(new QPushButton(QStringLiteral("Open"), frame), "cmdOpen", {8, 150, 114, 18});
    QTreeWidget* tree = placed(new QTreeWidget(frame), "trvDir", {8, 16, 284, 120});
    QFrame* line = placed(new QFrame(&root), "linSep", {10, 250, 200, 3});
    QWidget* panel = new QWidget(&root);
    QLabel* label = placed(new QLabel(QStringLiteral("2.0.22"), panel), "lblVersion", {40, 10, 100, 20});

    Form()
    {
        root.resize(400, 300);
        line->setFrameShape(QFrame::HLine);
        panel->setGeometry(0, 260, 400, 40);
        (new QTimer(&root))->setObjectName(QStringLiteral("Timer"));
        (new QDialog(&root))->setObjectName(QStringLiteral("dlgOwned"));
    }
};

std::shared_ptr<ControlAccess> find(const ControlList& controls, const QString& name)
{
    for (const auto& c : controls) {
        if (c->name() == name)
            return c;
    }
    return nullptr;
}

QList<QRect> geometries(const Form& form)
{
    return {form.frame->geometry(), form.button->geometry(), form.tree->geometry(),
            form.line->geometry(),  form.label->geometry(),  form.panel->geometry()};
}

} // namespace

class WidgetFormAccessTest : public QObject {
    Q_OBJECT

private slots:
    void enumeratesNamedWidgetsAndTimers()
    {
        Form form;
        WidgetFormAccess access(&form.root);
        const ControlList controls = access.controls();

        QStringList names;
        QStringList types;
        for (const auto& c : controls) {
            names << c->name();
            types << c->typeName();
        }
        // Qt's own parts of the tree (viewport, scroll bars) and the owned dialog are not controls.
        QCOMPARE(names, QStringList({"frmMain", "cmdOpen", "trvDir", "linSep", "lblVersion", "Timer"}));
        QCOMPARE(types, QStringList({"groupbox", "pushbutton", "treewidget", "line", "label", "timer"}));

        QCOMPARE(access.interiorWidth(), std::optional<double>(6000));
        QCOMPARE(access.interiorHeight(), std::optional<double>(4500));
        const auto button = find(controls, "cmdOpen");
        QCOMPARE(button->get(P::Left), std::optional<double>(120));      // relative to the frame
        QCOMPARE(button->get(P::Top), std::optional<double>(2250));
        QCOMPARE(button->get(P::Width), std::optional<double>(1710));
        QCOMPARE(button->get(P::Height), std::optional<double>(270));
        QCOMPARE(button->get(P::FontSize), std::optional<double>(form.button->font().pointSizeF()));
        QCOMPARE(button->get(P::X1), std::nullopt);

        const auto line = find(controls, "linSep");
        QCOMPARE(line->get(P::Width), std::nullopt);   // a line is not sized, it has end points
        QCOMPARE(line->get(P::X1), std::optional<double>(150));
        QCOMPARE(line->get(P::X2), std::optional<double>(3150));
        QCOMPARE(line->get(P::Y1), std::optional<double>(251.5 * 15));
        QCOMPARE(line->get(P::Y2), std::optional<double>(251.5 * 15));

        const auto timer = find(controls, "Timer");
        QCOMPARE(timer->get(P::Left), std::nullopt);
        QVERIFY(!timer->set(P::Width, 15));
    }

    void keepsAWidgetTreeInProportion()
    {
        Form form;
        WidgetFormAccess access(&form.root);
        Resizer r;
        r.setForm(&access);

        const QList<QRect> original = geometries(form);
        form.root.resize(200, 150);
        r.adjust();
        // The line is shorter but as thick as before. A named widget in an unnamed panel is a
        // control; the panel itself is not.
        QCOMPARE(geometries(form), (QList<QRect>{{4, 5, 150, 100}, {4, 75, 57, 9}, {4, 8, 142, 60}, {5, 124, 100, 3},
                                                 {20, 5, 50, 10}, {0, 260, 400, 40}}));
        form.root.resize(400, 300);
        r.adjust();
        QCOMPARE(geometries(form), original);
    }

    void refusesWhatAWidgetCannotTake()
    {
        Form form;
        WidgetFormAccess access(&form.root);
        const ControlList controls = access.controls();
        const auto button = find(controls, "cmdOpen");

        QVERIFY(!button->set(P::Width, -15));
        QCOMPARE(form.button->width(), 114);
        form.button->setMaximumWidth(100);
        QVERIFY(!button->set(P::Width, 1800));
        QVERIFY(button->set(P::Height, 300));
        QCOMPARE(form.button->height(), 20);

        QVERIFY(button->set(P::FontSize, 12));
        QCOMPARE(form.button->font().pointSizeF(), 12.0);

        // A line's end points are written one at a time; the far end may pass the old near end.
        const auto line = find(controls, "linSep");
        QVERIFY(line->set(P::X1, 4500));
        QVERIFY(line->set(P::X2, 5400));
        QCOMPARE(form.line->geometry(), QRect(300, 250, 60, 3));

        delete form.button;
        QCOMPARE(button->get(P::Left), std::nullopt);
        QVERIFY(!button->set(P::Left, 15));
    }
};

int runWidgetFormAccessTests(int argc, char** argv)
{
    WidgetFormAccessTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace torvane::test

#include "WidgetFormAccessTest.moc"
