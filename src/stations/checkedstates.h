#pragma once

#include <QByteArray>
#include <QList>
#include <functional>

// The lines of "programy_stan.tv" for the given check marks: the 0-based position of every
// checked entry in ascending order, as plain decimal. No checked entry gives no lines.
QList<QByteArray> checkedStateLines(const QList<bool>& checked);

// Sets the check marks listed in the lines of "programy_stan.tv" on a list of `count`
// entries, calling check(position) line by line. Marks are only set, never cleared.
// Throws ErrorReport on the first line that is not a number ("'<line>' is not a valid integer
// value") or not a position in the list ("List index out of bounds (<n>)"); the lines before
// it have been applied by then, the ones after it are not.
void applyCheckedStateLines(const QList<QByteArray>& lines, int count,
                            const std::function<void(int)>& check);
