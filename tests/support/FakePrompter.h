#pragma once

#include "desktop/Prompter.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>

namespace torvane::test {

// Records every box and answers from a script; an unscripted box gets the first button's answer
// (OK or Yes).
class FakePrompter final : public Prompter {
public:
    struct Box {
        QString text;
        BoxIcon icon;
        BoxButtons buttons;
        QString title;
    };

    BoxAnswer ask(const QString& text, BoxIcon icon, BoxButtons buttons, const QString& title) override
    {
        const Box box{text, icon, buttons, title};
        boxes.append(box);
        if (onAsk)
            onAsk(box);
        if (script_.empty())
            return buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
        const BoxAnswer a = script_.front();
        script_.pop_front();
        return a;
    }

    void answerNext(BoxAnswer answer) { script_.push_back(answer); }
    // Called for each box before it answers (to look at the program's state while a box is up).
    std::function<void(const Box&)> onAsk;

    QList<Box> boxes;

private:
    std::deque<BoxAnswer> script_;
};

} // namespace torvane::test
