#include "support/FakePrompter.h"

namespace torvane::test {

BoxAnswer FakePrompter::ask(const QString& text, BoxIcon icon, BoxButtons buttons, const QString& title)
{
    const Box box{text, icon, buttons, title};
    boxes.append(box);
    if (onAsk)
        onAsk(box);
    if (!script_.empty()) {
        const BoxAnswer a = script_.front();
        script_.pop_front();
        return a;
    }
    return buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
}

} // namespace torvane::test
