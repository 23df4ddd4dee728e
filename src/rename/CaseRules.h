#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <utility>

namespace torvane {

// The index of the chosen option button.
enum class CaseChoice { Lower = 0, Upper = 1, Proper = 2 };

// A file name as text the case rules can work on and give back byte for byte: valid UTF-8 is
// decoded, every byte outside it becomes a lone low surrogate U+DC80 + byte. The case rules leave
// those alone, so encodeName returns the invalid bytes unchanged.
QString decodeName(const QByteArray& name);
QByteArray encodeName(const QString& name);

// Letters mapped under the user's locale; everything else, escaped bytes included, stays.
QString lowerCase(const QString& name);
QString upperCase(const QString& name);
// Lower case, then a capital at the start and after each of NUL, TAB, LF, VT, FF, CR and space.
QString properCase(const QString& name);
QString convertCase(const QString& name, CaseChoice choice);

// "(a" -> "(A" ... "(z" -> "(Z", in alphabetical order.
using ParenPair = std::pair<QString, QString>;
const std::array<ParenPair, 26>& parenRuleTable();
// Every pair of the table through replaceText: a basic Latin letter right after "(" becomes a
// capital.
void applyParenRule(QString& name);

} // namespace torvane
