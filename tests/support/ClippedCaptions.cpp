#include "support/ClippedCaptions.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

#include <optional>

namespace torvane::test {

namespace {

struct Caption {
    QString text;
    QSize needs;
    QSize room;
};

// The room the style leaves a button's caption; of a push button's features only the frame an
// auto-default button keeps for the default mark changes it.
QSize buttonRoom(const QAbstractButton* button, QStyle::SubElement contents)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (const auto* push = qobject_cast<const QPushButton*>(button); push && push->autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    return button->style()->subElementRect(contents, &option, button).size();
}

std::optional<Caption> captionOf(const QWidget* control)
{
    // The text as the control draws it: an '&' marks a shortcut and takes no room.
    const auto drawn = [control](const QString& text, QSize room, int flags = Qt::TextShowMnemonic) {
        return Caption{text, QFontMetrics(control->font()).size(flags, text), room};
    };
    if (const auto* button = qobject_cast<const QPushButton*>(control))
        return drawn(button->text(), buttonRoom(button, QStyle::SE_PushButtonContents));
    if (const auto* radio = qobject_cast<const QRadioButton*>(control))
        return drawn(radio->text(), buttonRoom(radio, QStyle::SE_RadioButtonContents));
    if (const auto* check = qobject_cast<const QCheckBox*>(control))
        return drawn(check->text(), buttonRoom(check, QStyle::SE_CheckBoxContents));
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return drawn(label->text(), label->contentsRect().size(), label->textFormat() == Qt::PlainText ? 0 : Qt::TextShowMnemonic);
    const auto* box = qobject_cast<const QGroupBox*>(control);
    if (!box || box->title().isEmpty())
        return std::nullopt;
    // The style sizes the title's rectangle to the text (blanks at its ends may fall outside); a
    // title that does not fit runs past the box.
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.textAlignment = box->alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    return Caption{option.text, title.size(), QSize(box->width() - title.left(), title.height())};
}

} // namespace

QStringList clippedCaptions(const QWidget* window)
{
    const auto px = [](QSize size) { return QStringLiteral("%1 x %2 px").arg(size.width()).arg(size.height()); };
    QStringList clipped;
    for (const QWidget* control : window->findChildren<QWidget*>()) {
        const std::optional<Caption> caption = control->isVisibleTo(window) ? captionOf(control) : std::nullopt;
        if (!caption || caption->text.isEmpty())
            continue;
        // Too wide or too tall is clipped.
        if (caption->room.expandedTo(caption->needs) != caption->room)
            clipped << QStringLiteral("%1 \"%2\": needs %3, has %4")
                           .arg(control->objectName(), caption->text, px(caption->needs), px(caption->room));
    }
    return clipped;
}

} // namespace torvane::test
