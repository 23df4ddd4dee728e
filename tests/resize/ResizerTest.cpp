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

#include <map>
#include <set>

namespace torvane::test {

namespace {

using P = ControlProperty;

// A control whose properties are exactly those the test gives it.
class FakeControl final : public ControlAccess {
public:
    FakeControl(QString name, QString type) : name_(std::move(name)), type_(std::move(type)) {}

    QString name() const override { return name_; }
    QString typeName() const override { return type_; }

    std::optional<double> get(ControlProperty property) const override
    {
        const auto found = values.find(property);
        return found == values.end() ? std::nullopt : std::optional<double>(found->second);
    }
    bool set(ControlProperty property, float value) override
    {
        ++attempts[property];
        if (!values.count(property) || refused.count(property))
            return false;
        values[property] = value;
        return true;
    }

    // A property missing here cannot be read or written.
    std::map<ControlProperty, double> values;
    // Readable, but every write fails.
    std::set<ControlProperty> refused;
    std::map<ControlProperty, int> attempts;

private:
    QString name_;
    QString type_;
};

class FakeForm final : public FormAccess {
public:
    FakeForm(double width, double height) : width(width), height(height) {}

    ControlList controls() override { return {list.begin(), list.end()}; }
    std::optional<double> interiorWidth() const override { return width; }
    std::optional<double> interiorHeight() const override { return height; }

    FakeControl& add(const QString& name, const QString& type, std::map<ControlProperty, double> values = {})
    {
        list.push_back(std::make_shared<FakeControl>(name, type));
        list.back()->values = std::move(values);
        return *list.back();
    }
    FakeControl& box(const QString& name, double left, double top, double w, double h)
    {
        return add(name, QStringLiteral("commandbutton"), {{P::Left, left}, {P::Top, top}, {P::Width, w}, {P::Height, h}});
    }
    FakeControl& line(const QString& name, double x1, double y1, double x2, double y2)
    {
        return add(name, QStringLiteral("Line"), {{P::X1, x1}, {P::Y1, y1}, {P::X2, x2}, {P::Y2, y2}});
    }

    // Each control as "name" then its values in ControlProperty order (a line's are its end points).
    QStringList places() const
    {
        QStringList out;
        for (const auto& c : list) {
            QStringList parts{c->name()};
            for (const auto& [property, value] : c->values)
                parts << QString::number(value);
            out << parts.join(u' ');
        }
        return out;
    }

    std::optional<double> width;
    std::optional<double> height;
    std::vector<std::shared_ptr<FakeControl>> list;
};

void resizeTo(FakeForm& form, Resizer& r, double width, double height)
{
    form.width = width;
    form.height = height;
    r.adjust();
}

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
    QWidget* panel = placed(new QWidget(&root), "", {0, 260, 400, 40});   // unnamed
    QLabel* label = placed(new QLabel(QStringLiteral("2.0.22"), panel), "lblVersion", {40, 10, 100, 20});

    Form()
    {
        root.resize(400, 300);
        line->setFrameShape(QFrame::HLine);
        (new QTimer(&root))->setObjectName(QStringLiteral("Timer"));
        (new QDialog(&root))->setObjectName(QStringLiteral("dlgOwned"));
    }
};

std::shared_ptr<ControlAccess> find(const ControlList& controls, const QString& name)
{
    const auto found = std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c->name() == name; });
    return found == controls.end() ? nullptr : *found;
}

// What a control reads for each place property, "-" where it has none.
QStringList places(const ControlAccess& c)
{
    QStringList out;
    for (const P p : {P::Left, P::Top, P::Width, P::Height, P::X1, P::Y1, P::X2, P::Y2}) {
        const std::optional<double> v = c.get(p);
        out << (v ? QString::number(*v) : QStringLiteral("-"));
    }
    return out;
}

QList<QRect> geometries(const Form& form)
{
    return {form.frame->geometry(), form.button->geometry(), form.tree->geometry(),
            form.line->geometry(),  form.label->geometry(),  form.panel->geometry()};
}

} // namespace

class ResizerTest : public QObject {
    Q_OBJECT

private slots:
    void keepsProportionsOfEachControl()
    {
        FakeForm form(6000, 4000);
        form.box("cmdRun", 600, 400, 1200, 800);
        form.line("linTop", 0, 0, 6000, 4000);
        FakeControl& sixth = form.box("lblSixth", 1000, 0, 1000, 1000);
        form.box("lblFixed", 600, 400, 1200, 800).refused = {P::Width};
        // Width works but height does not: the probe fails late, and the width must stay too.
        form.box("drvHDs", 1200, 800, 600, 400).refused = {P::Height};
        form.add("mnuFile", "menu");   // no position at all
        FakeControl& timer = form.add("Timer", "Timer");   // neither recorded nor touched
        // Controls sharing a name each keep their own place.
        form.box("optCase", 600, 400, 1200, 400);
        form.box("optCase", 600, 1200, 1200, 400);
        form.box("cmdExit", 60, 40, 120, 80);
        Resizer r;
        r.setForm(&form);
        QCOMPARE(form.places().first(), QStringLiteral("cmdRun 600 400 1200 800"));   // the probes leave it be

        resizeTo(form, r, 3000, 2000);
        // A failing control does not end the adjustment.
        QCOMPARE(form.places(), QStringList({"cmdRun 300 200 600 400", "linTop 0 0 3000 2000", "lblSixth 500 0 500 500",
                                             "lblFixed 300 200 1200 800", "drvHDs 600 400 600 400", "mnuFile", "Timer",
                                             "optCase 300 200 600 200", "optCase 300 600 600 200", "cmdExit 30 20 60 40"}));
        QVERIFY(timer.attempts.empty());

        // Values go to the control unrounded: a sixth of 1000 is not 167.
        resizeTo(form, r, 1000, 4000);
        QVERIFY(qAbs(sixth.values.at(P::Left) - 1000.0 / 6) < 1e-3);
    }

    // Recording lets pending events run where it meets a timer, and only there.
    void eventsRunAtATimerOnly()
    {
        for (const bool withTimer : {false, true}) {
            FakeForm form(6000, 4000);
            form.box("cmdOpen", 600, 400, 1200, 800);
            if (withTimer)
                form.add("Timer", "Timer");
            bool ran = false;
            QMetaObject::invokeMethod(this, [&ran] { ran = true; }, Qt::QueuedConnection);
            Resizer r;
            r.setForm(&form);
            QCOMPARE(ran, withTimer);
            QCoreApplication::processEvents();
        }
    }

    void fontsFollowTheFlagAtRecordingAndAdjusting()
    {
        const struct {
            bool atRecording, atAdjusting;
            double height, points;
        } cases[] = {
            {false, true, 2000, 9},
            {true, false, 2000, 9},
            {true, true, 2000, 4},   // 4.5 points become 4
            {true, true, 400, 9},    // below one point: the font stays
        };
        for (const auto& c : cases) {
            FakeForm form(6000, 4000);
            FakeControl& label = form.box("lblVersion", 600, 400, 1200, 800);
            label.values[P::FontSize] = 9;
            FakeControl& noFont = form.box("picLogo", 600, 400, 1200, 800);
            Resizer r;
            r.setResizeFonts(c.atRecording);
            r.setForm(&form);
            r.setResizeFonts(c.atAdjusting);

            resizeTo(form, r, 6000, c.height);
            QCOMPARE(label.values.at(P::FontSize), c.points);
            QCOMPARE(label.values.at(P::Top), 400 * c.height / 4000);   // geometry follows whatever the font does
            QVERIFY(!noFont.attempts.count(P::FontSize));
            QCOMPARE(noFont.values.at(P::Height), 800 * c.height / 4000);
        }
    }

    // An exemption takes the first control of that name, in any letter case, until the next recording.
    void exemptionIgnoresCaseAndEndsWithResetForm()
    {
        FakeForm form(6000, 4000);
        form.box("cmdOpen", 600, 400, 1200, 800);
        form.box("cmdExit", 1200, 800, 600, 400);
        form.box("cmdOpen", 0, 0, 600, 400);
        Resizer r;
        r.exempt("cmdExit");   // nothing recorded yet: no effect
        r.setForm(&form);
        r.exempt("CMDOPEN");
        r.exempt("cmdNothing");

        resizeTo(form, r, 3000, 2000);
        QCOMPARE(form.places(), QStringList({"cmdOpen 600 400 1200 800", "cmdExit 600 400 300 200", "cmdOpen 0 0 300 200"}));

        // Re-recording at 3000 by 2000 takes the controls as they stand and drops the exemption.
        r.resetForm();
        resizeTo(form, r, 1500, 1000);
        QCOMPARE(form.places(), QStringList({"cmdOpen 300 200 600 400", "cmdExit 300 200 150 100", "cmdOpen 0 0 150 100"}));
    }

    // Nothing is recorded from a form without controls or with an empty interior.
    void nothingRecordedFromAnEmptyForm()
    {
        Resizer late;
        FakeForm empty(6000, 4000);
        late.setForm(&empty);
        empty.box("cmdLate", 600, 400, 1200, 800);
        resizeTo(empty, late, 3000, 2000);
        QCOMPARE(empty.places(), QStringList{"cmdLate 600 400 1200 800"});

        for (const bool unreadable : {false, true}) {
            FakeForm form(6000, 0);
            if (unreadable)
                form.height.reset();
            form.box("cmdRun", 600, 400, 1200, 800);
            Resizer r;
            r.setForm(&form);
            resizeTo(form, r, 3000, 2000);
            QCOMPARE(form.places(), QStringList{"cmdRun 600 400 1200 800"});

            // Once recorded properly, a later recording at an empty interior keeps the good table.
            resizeTo(form, r, 6000, 4000);
            r.resetForm();
            form.height = 0;
            r.resetForm();
            resizeTo(form, r, 3000, 2000);
            QCOMPARE(form.places(), QStringList{"cmdRun 300 200 600 400"});
        }
    }

    // The same through a real widget tree, in twips.
    void widgetsAreReadAndWrittenAsControls()
    {
        Form form;
        WidgetFormAccess access(&form.root);
        const ControlList controls = access.controls();

        QStringList found;
        for (const auto& c : controls)
            found << c->name() + ' ' + c->typeName();
        // Qt's own parts of the tree (viewport, scroll bars) and the owned dialog are not controls.
        QCOMPARE(found, QStringList({"frmMain groupbox", "cmdOpen pushbutton", "trvDir treewidget", "linSep line",
                                     "lblVersion label", "Timer timer"}));

        QCOMPARE(access.interiorWidth(), std::optional<double>(6000));
        QCOMPARE(access.interiorHeight(), std::optional<double>(4500));
        // The button relative to the frame; a line is not sized, it has end points.
        const auto button = find(controls, "cmdOpen");
        QCOMPARE(places(*button), QStringList({"120", "2250", "1710", "270", "-", "-", "-", "-"}));
        const auto line = find(controls, "linSep");
        QCOMPARE(places(*line), QStringList({"-", "-", "-", "-", "150", "3772.5", "3150", "3772.5"}));
        QCOMPARE(places(*find(controls, "Timer")), QStringList(8, "-"));
        QCOMPARE(button->get(P::FontSize), std::optional<double>(form.button->font().pointSizeF()));

        // What a widget cannot take is refused.
        QVERIFY(!button->set(P::Width, -15));
        QCOMPARE(form.button->width(), 114);
        QVERIFY(button->set(P::Height, 300));
        QCOMPARE(form.button->height(), 20);
        QVERIFY(button->set(P::FontSize, 12));
        QCOMPARE(form.button->font().pointSizeF(), 12.0);
        QVERIFY(!find(controls, "Timer")->set(P::Width, 15));

        // A line's end points are written one at a time; the far end may pass the old near end.
        QVERIFY(line->set(P::X1, 4500));
        QVERIFY(line->set(P::X2, 5400));
        QCOMPARE(form.line->geometry(), QRect(300, 250, 60, 3));

        delete form.button;
        QCOMPARE(button->get(P::Left), std::nullopt);
        QVERIFY(!button->set(P::Left, 15));
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
};

} // namespace torvane::test

QTEST_MAIN(torvane::test::ResizerTest)
#include "ResizerTest.moc"
