#include "resize/Resizer.h"

#include <QTest>

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
    double value(ControlProperty property) const { return values.at(property); }

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

    FakeControl& add(const QString& name, const QString& type)
    {
        list.push_back(std::make_shared<FakeControl>(name, type));
        return *list.back();
    }
    // A sizeable control, like a button.
    FakeControl& box(const QString& name, double left, double top, double w, double h)
    {
        FakeControl& c = add(name, QStringLiteral("commandbutton"));
        c.values = {{P::Left, left}, {P::Top, top}, {P::Width, w}, {P::Height, h}};
        return c;
    }
    FakeControl& line(const QString& name, double x1, double y1, double x2, double y2)
    {
        FakeControl& c = add(name, QStringLiteral("Line"));
        c.values = {{P::X1, x1}, {P::Y1, y1}, {P::X2, x2}, {P::Y2, y2}};
        return c;
    }

    std::optional<double> width;
    std::optional<double> height;
    std::vector<std::shared_ptr<FakeControl>> list;
};

// A line's place is its end points: x1, y1, x2, y2 for left, top, width, height.
void checkPlace(const FakeControl& c, double left, double top, double width, double height)
{
    const bool line = c.typeName() == QLatin1String("Line");
    QCOMPARE(c.value(line ? P::X1 : P::Left), left);
    QCOMPARE(c.value(line ? P::Y1 : P::Top), top);
    QCOMPARE(c.value(line ? P::X2 : P::Width), width);
    QCOMPARE(c.value(line ? P::Y2 : P::Height), height);
}

void resizeTo(FakeForm& form, Resizer& r, double width, double height)
{
    form.width = width;
    form.height = height;
    r.adjust();
}

} // namespace

class ResizerTest : public QObject {
    Q_OBJECT

private slots:
    void keepsProportionsThroughShrinkAndGrow()
    {
        FakeForm form(6000, 4000);
        FakeControl& button = form.box("cmdRun", 600, 400, 1200, 800);
        FakeControl& line = form.line("linTop", 0, 0, 6000, 4000);
        FakeControl& sixth = form.box("lblSixth", 1000, 0, 1000, 1000);
        FakeControl& fixedWidth = form.box("lblFixed", 600, 400, 1200, 800);
        fixedWidth.refused = {P::Width};
        // Width works but height does not: the probe fails late, and the width must stay too.
        FakeControl& fixedHeight = form.box("drvHDs", 1200, 800, 600, 400);
        fixedHeight.refused = {P::Height};
        FakeControl& menu = form.add("mnuFile", "menu");   // no position at all
        FakeControl& timer = form.add("Timer", "Timer");   // neither recorded nor touched
        // Controls sharing a name each keep their own place.
        FakeControl& first = form.box("optCase", 600, 400, 1200, 400);
        FakeControl& second = form.box("optCase", 600, 1200, 1200, 400);
        FakeControl& after = form.box("cmdExit", 60, 40, 120, 80);
        Resizer r;
        r.setForm(&form);
        checkPlace(button, 600, 400, 1200, 800);   // the probes leave the controls as they were

        resizeTo(form, r, 3000, 2000);
        checkPlace(button, 300, 200, 600, 400);
        checkPlace(line, 0, 0, 3000, 2000);
        checkPlace(fixedWidth, 300, 200, 1200, 800);
        checkPlace(fixedHeight, 600, 400, 600, 400);
        QVERIFY(menu.values.empty());
        QVERIFY(timer.attempts.empty());
        checkPlace(first, 300, 200, 600, 200);
        checkPlace(second, 300, 600, 600, 200);
        checkPlace(after, 30, 20, 60, 40);   // a failing control does not end the adjustment

        // Values go to the control unrounded: a sixth of 1000 is not 167.
        resizeTo(form, r, 1000, 4000);
        QVERIFY(qAbs(sixth.value(P::Left) - 1000.0 / 6) < 1e-3);
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

    void fontsFollowTheFlagAtRecordingAndAdjusting_data()
    {
        QTest::addColumn<bool>("atRecording");
        QTest::addColumn<bool>("atAdjusting");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("points");

        QTest::newRow("off, then on") << false << true << 2000.0 << 9.0;
        QTest::newRow("on, then off") << true << false << 2000.0 << 9.0;
        QTest::newRow("on at both: 4.5 points become 4") << true << true << 2000.0 << 4.0;
        QTest::newRow("on at both: below one point") << true << true << 400.0 << 9.0;
    }

    void fontsFollowTheFlagAtRecordingAndAdjusting()
    {
        QFETCH(bool, atRecording);
        QFETCH(bool, atAdjusting);
        QFETCH(double, height);
        QFETCH(double, points);

        FakeForm form(6000, 4000);
        FakeControl& label = form.box("lblVersion", 600, 400, 1200, 800);
        label.values[P::FontSize] = 9;
        FakeControl& noFont = form.box("picLogo", 600, 400, 1200, 800);
        Resizer r;
        r.setResizeFonts(atRecording);
        r.setForm(&form);
        r.setResizeFonts(atAdjusting);

        resizeTo(form, r, 6000, height);
        QCOMPARE(label.value(P::FontSize), points);
        QCOMPARE(label.value(P::Top), 400 * height / 4000);   // geometry follows whatever the font does
        QVERIFY(!noFont.attempts.count(P::FontSize));
        QCOMPARE(noFont.value(P::Height), 800 * height / 4000);
    }

    // An exemption takes the first control of that name, in any letter case, until the next recording.
    void exemptionIgnoresCaseAndEndsWithResetForm()
    {
        FakeForm form(6000, 4000);
        FakeControl& open = form.box("cmdOpen", 600, 400, 1200, 800);
        FakeControl& exit = form.box("cmdExit", 1200, 800, 600, 400);
        FakeControl& secondOpen = form.box("cmdOpen", 0, 0, 600, 400);
        Resizer r;
        r.exempt("cmdExit");   // nothing recorded yet: no effect
        r.setForm(&form);
        r.exempt("CMDOPEN");
        r.exempt("cmdNothing");

        resizeTo(form, r, 3000, 2000);
        checkPlace(open, 600, 400, 1200, 800);
        checkPlace(exit, 600, 400, 300, 200);
        checkPlace(secondOpen, 0, 0, 300, 200);

        // Re-recording at 3000 by 2000 takes the controls as they stand and drops the exemption.
        r.resetForm();
        resizeTo(form, r, 1500, 1000);
        checkPlace(open, 300, 200, 600, 400);
        checkPlace(exit, 300, 200, 150, 100);
    }

    // Nothing is recorded from a form without controls or with an empty interior.
    void nothingRecordedFromAnEmptyForm()
    {
        Resizer late;
        FakeForm empty(6000, 4000);
        late.setForm(&empty);
        FakeControl& added = empty.box("cmdLate", 600, 400, 1200, 800);
        resizeTo(empty, late, 3000, 2000);
        checkPlace(added, 600, 400, 1200, 800);

        for (const bool unreadable : {false, true}) {
            FakeForm form(6000, 0);
            if (unreadable)
                form.height.reset();
            FakeControl& button = form.box("cmdRun", 600, 400, 1200, 800);
            Resizer r;
            r.setForm(&form);
            resizeTo(form, r, 3000, 2000);
            checkPlace(button, 600, 400, 1200, 800);

            // Once recorded properly, a later recording at an empty interior keeps the good table.
            resizeTo(form, r, 6000, 4000);
            r.resetForm();
            form.height = 0;
            r.resetForm();
            resizeTo(form, r, 3000, 2000);
            checkPlace(button, 300, 200, 600, 400);
        }
    }
};

int runResizerTests(int argc, char** argv)
{
    ResizerTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace torvane::test

#include "ResizerTest.moc"
