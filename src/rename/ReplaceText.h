#pragma once

#include <QString>

namespace torvane {

// Replaces every occurrence of search in text (exact, case-sensitive) in one left-to-right pass,
// letting pending events run after each replacement. An empty search changes nothing. The pass
// never reads its own replacements, so it ends whatever the replacement holds.
void replaceText(QString& text, const QString& search, const QString& replacement);

} // namespace torvane
