#include "rename/RenameWindow.h"

#include "platform/Keys.h"
#include "platform/Prompter.h"
#include "platform/RenameNoReplace.h"
#include "rename/frmRENAME.h"

namespace torvane {

// Failure style: a box when the folder is gone, and no window.
void openRenameWindow(QWidget* parent, Prompter& prompter, RenameHost& host, const QByteArray& file1)
{
    if (file1.size() < 2)
        return;
    if (!isFolder(file1)) {
        prompter.ask(QStringLiteral("The folder ") + displayName(file1) + QStringLiteral(" no longer exists."),
                     BoxIcon::Information, BoxButtons::Ok);
        return;
    }
    frmRENAME window(prompter, host, parent);
    window.setFolder(file1);
    window.exec();
}

} // namespace torvane
