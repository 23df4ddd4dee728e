#pragma once

#include <QString>

class QWidget;

namespace torvane {

enum class BoxIcon { None, Information, Critical };
enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// Every message box of the program goes through a Prompter, so tests can script the answers.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual BoxAnswer ask(const QString& text, BoxIcon icon, BoxButtons buttons,
                          const QString& title = QString()) = 0;
};

// Modal QMessageBox over the active window. The text is shown as plain text, never as HTML.
class MessageBoxPrompter final : public Prompter {
public:
    BoxAnswer ask(const QString& text, BoxIcon icon, BoxButtons buttons, const QString& title) override;
};

} // namespace torvane
