#include "desktop/Prompter.h"

#include <QApplication>
#include <QMessageBox>

namespace torvane {

BoxAnswer MessageBoxPrompter::ask(const QString& text, BoxIcon icon, BoxButtons buttons, const QString& title)
{
    QMessageBox box(QApplication::activeWindow());
    // Texts carry folder names and downloaded release notes: as rich text, a name such as <b>x</b>
    // would be rendered as markup instead of shown as it is.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowTitle(title.isEmpty() ? QStringLiteral(" ") : title);
    switch (icon) {
    case BoxIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    switch (buttons) {
    case BoxButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case BoxButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case BoxButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return BoxAnswer::Ok;
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    default: return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Cancel;
    }
}

} // namespace torvane
