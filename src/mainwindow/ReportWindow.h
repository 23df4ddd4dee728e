#pragma once

#include <QString>

class QWidget;

namespace torvane {

// Opens a non-modal window of 420 × 360 pixels that shows the XML report as a collapsible element
// tree. A missing report gets a "no report yet" page; a malformed one shows what was read and
// where reading stopped. The window is deleted when closed; it is returned for tests.
QWidget* showReportWindow(const QString& xmlPath, QWidget* parent);

} // namespace torvane
