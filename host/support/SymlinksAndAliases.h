// Paths through symbolic links (and Finder aliases, which Linux does not have: every alias
// operation answers "no alias"). A null string stands for "none".
#pragma once

#include <QString>

// The same item with no link anywhere in its path; null when some part cannot be resolved
// or the path is not absolute.
QString stringByResolvingSymlinksAndAliases(const QString& path);
// Follows the item's links (and aliases) until a folder or a plain file; null when it does
// not exist, a link cannot be read or the links form a cycle.
QString stringByIterativelyResolvingSymlinkOrAlias(const QString& path);
// The link's destination, or the path itself when it is no link.
QString stringByResolvingSymlink(const QString& path);
// The alias's target, or the path itself: always the path here.
QString stringByResolvingAlias(const QString& path);
// The link's destination (a relative one taken from the link's folder), or null.
QString stringByConditionallyResolvingSymlink(const QString& path);
// The alias's target, or null: always null here.
QString stringByConditionallyResolvingAlias(const QString& path);
