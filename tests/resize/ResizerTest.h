#pragma once

#include <QObject>

namespace torvane::test {

class ResizerTest : public QObject {
    Q_OBJECT
private slots:
    void keepsProportionsThroughShrinkAndGrow();
    void controlsThatCannotBeSizedOnlyMove();
    void timersAreNeitherRecordedNorTouched();
    void fontsFollowTheFlagAtRecordingAndAdjusting_data();
    void fontsFollowTheFlagAtRecordingAndAdjusting();
    void exemptionIgnoresCaseAndEndsWithResetForm();
    void nothingHappensUntilSomethingIsRecorded();
    void anEmptyInteriorRecordsNothing();
    void controlsSharingANameKeepTheirOwnPlaces();
};

} // namespace torvane::test
