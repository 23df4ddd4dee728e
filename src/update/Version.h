#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace torvane {

// Blanks (the space character only) removed from both ends, and every run of blanks inside the
// text shortened to one. Tabs, CR and LF stay.
QString collapseSpaces(const QString& text);

using VersionKey = std::vector<std::uint64_t>;

// The numbers of a version text such as "2.0.22", after collapseSpaces, the removal of every
// CR LF pair and of white space at either end. Nothing when what is left is not whole numbers
// joined by single dots, or is 16 characters or longer (an error page, a text with a letter).
std::optional<VersionKey> versionKeyOf(const QString& text);

// Part by part as numbers; a missing part counts as 0, so 2.1 equals 2.1.0.
bool isNewerVersion(const VersionKey& candidate, const VersionKey& current);

} // namespace torvane
