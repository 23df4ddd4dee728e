#include "mainwindow/ReportWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStackedWidget>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include <vector>

namespace torvane {

namespace {

// Beyond this many elements the tree opens on its first two levels only; expanding everything
// would make a very large report slow to show.
constexpr int kExpandAllLimit = 20000;

QString startTagText(const QXmlStreamReader& xml)
{
    QString text = QLatin1Char('<') + xml.qualifiedName().toString();
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        QString value = attribute.value().toString();
        value.replace(QLatin1Char('"'), QLatin1String("&quot;"));
        text += QStringLiteral(" %1=\"%2\"").arg(attribute.qualifiedName().toString(), value);
    }
    return text + QLatin1Char('>');
}

struct Parsed {
    int elements = 0;
    QString error;
};

// Fills the tree from the XML: one item per element with its attributes, the text of an element
// that holds only text in the second column, text beside child elements as items of its own.
Parsed fillTree(QTreeWidget* tree, QIODevice* device)
{
    Parsed parsed;
    QXmlStreamReader xml(device);
    std::vector<QTreeWidgetItem*> open;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            auto* item = open.empty() ? new QTreeWidgetItem(tree) : new QTreeWidgetItem(open.back());
            item->setText(0, startTagText(xml));
            open.push_back(item);
            ++parsed.elements;
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!open.empty())
                open.pop_back();
            break;
        case QXmlStreamReader::Characters: {
            if (xml.isWhitespace() || open.empty())
                break;
            QTreeWidgetItem* item = open.back();
            const QString text = xml.text().toString().trimmed();
            if (item->childCount() == 0 && item->text(1).isEmpty())
                item->setText(1, text);
            else
                new QTreeWidgetItem(item, QStringList{QString(), text});
            break;
        }
        default:
            break;
        }
    }
    if (xml.hasError()) {
        parsed.error = QObject::tr("The report could not be read past line %1, column %2: %3")
                           .arg(xml.lineNumber())
                           .arg(xml.columnNumber())
                           .arg(xml.errorString());
    }
    return parsed;
}

QLabel* messageLabel(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("reportMessage"));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

QWidget* showReportWindow(const QString& xmlPath, QWidget* parent)
{
    auto* window = new QWidget(parent, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("reportWindow"));
    window->setWindowTitle(QFileInfo(xmlPath).fileName());

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pages = new QStackedWidget(window);
    layout->addWidget(pages);

    QFile file(xmlPath);
    if (!file.open(QIODevice::ReadOnly)) {
        QLabel* message = messageLabel(window, QObject::tr("No report yet.\n\nA scan writes its report to %1; "
                                                           "run a scan and open it again.").arg(xmlPath));
        message->setAlignment(Qt::AlignCenter);
        pages->addWidget(message);
    } else {
        auto* page = new QWidget(window);
        auto* pageLayout = new QVBoxLayout(page);
        auto* tree = new QTreeWidget(page);
        tree->setObjectName(QStringLiteral("reportTree"));
        tree->setHeaderLabels({QObject::tr("Element"), QObject::tr("Text")});
        const Parsed parsed = fillTree(tree, &file);
        if (parsed.elements <= kExpandAllLimit)
            tree->expandAll();
        else
            tree->expandToDepth(1);
        // A fixed width would cut off the folder names that ParentFolder rows carry.
        tree->header()->setStretchLastSection(true);
        tree->resizeColumnToContents(0);
        pageLayout->addWidget(tree);
        if (!parsed.error.isEmpty())
            pageLayout->addWidget(messageLabel(page, parsed.error));
        pages->addWidget(page);
    }

    window->resize(420, 360);
    window->show();
    return window;
}

} // namespace torvane
