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

// The numbers of a version text such as "2.0.22". Its key is the text after collapseSpaces and
// the removal of every CR LF pair and every dot; a key of 16 characters or more (an error page)
// gives nothing. Otherwise the text, white space at either end removed, must be whole numbers
// joined by single dots (nothing for a text with a letter).
std::optional<VersionKey> versionKeyOf(const QString& text);

// Part by part as numbers; a missing part counts as 0, so 2.1 equals 2.1.0.
bool isNewerVersion(const VersionKey& candidate, const VersionKey& current);

} // namespace torvane
