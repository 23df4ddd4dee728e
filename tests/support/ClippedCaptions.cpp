#include "support/ClippedCaptions.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>

#include <algorithm>
#include <optional>

namespace torvane::test {

namespace {

struct Caption {
    QString text;
    QSize needs;
    QRect room;
};

// The size of one line (or several) of text as the control draws it: an '&' marks a shortcut
// and takes no room.
QSize textSize(const QWidget* control, const QString& text, int flags = Qt::TextShowMnemonic)
{
    return QFontMetrics(control->font()).size(flags, text);
}

Caption pushButtonCaption(const QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (button->autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    if (button->isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    if (button->isFlat())
        option.features |= QStyleOptionButton::Flat;
    QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    // The icon stands before the text, with the style's small gap.
    if (!option.icon.isNull())
        room.setLeft(room.left() + option.iconSize.width() + 4);
    return {option.text, textSize(button, option.text), room};
}

Caption indicatorCaption(const QAbstractButton* button, QStyle::SubElement contents)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect room = button->style()->subElementRect(contents, &option, button);
    return {option.text, textSize(button, option.text), room};
}

Caption labelCaption(const QLabel* label)
{
    QString text = label->text();
    const bool rich = label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (rich) {
        QTextDocument document;
        document.setHtml(text);
        text = document.toPlainText();
    }
    const int margin = label->margin();
    QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    // A label with a frame and no indent of its own is indented by half an 'x'.
    int indent = label->indent();
    if (indent < 0)
        indent = label->frameWidth() > 0 ? QFontMetrics(label->font()).horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    room.setWidth(room.width() - indent);
    const int flags = label->textFormat() == Qt::PlainText ? 0 : Qt::TextShowMnemonic;
    if (label->wordWrap()) {
        const QRect wrapped = QFontMetrics(label->font()).boundingRect(QRect(0, 0, room.width(), 1 << 20),
                                                                        flags | Qt::TextWordWrap, text);
        return {text, wrapped.size(), room};
    }
    return {text, textSize(label, text, flags), room};
}

// The style sizes the title's rectangle to the text (blanks at its ends may fall outside); a
// title that does not fit runs past the box.
Caption groupBoxCaption(const QGroupBox* box)
{
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.textAlignment = box->alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (box->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    if (box->isFlat())
        option.features |= QStyleOptionFrame::Flat;
    const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const QRect room(title.left(), title.top(), std::max(0, box->width() - title.left()), title.height());
    return {option.text, title.size(), room};
}

std::optional<Caption> captionOf(const QWidget* control)
{
    if (const auto* button = qobject_cast<const QPushButton*>(control))
        return pushButtonCaption(button);
    if (const auto* radio = qobject_cast<const QRadioButton*>(control))
        return indicatorCaption(radio, QStyle::SE_RadioButtonContents);
    if (const auto* check = qobject_cast<const QCheckBox*>(control))
        return indicatorCaption(check, QStyle::SE_CheckBoxContents);
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return labelCaption(label);
    if (const auto* box = qobject_cast<const QGroupBox*>(control); box && !box->title().isEmpty())
        return groupBoxCaption(box);
    return std::nullopt;
}

} // namespace

QStringList clippedCaptions(const QWidget* window)
{
    QStringList clipped;
    for (const QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window))
            continue;
        const std::optional<Caption> caption = captionOf(control);
        if (!caption || caption->text.isEmpty())
            continue;
        if (caption->needs.width() > caption->room.width() || caption->needs.height() > caption->room.height()) {
            clipped << QStringLiteral("%1 \"%2\": needs %3 x %4 px, has %5 x %6")
                           .arg(control->objectName(), caption->text)
                           .arg(caption->needs.width())
                           .arg(caption->needs.height())
                           .arg(caption->room.width())
                           .arg(caption->room.height());
        }
    }
    return clipped;
}

} // namespace torvane::test
