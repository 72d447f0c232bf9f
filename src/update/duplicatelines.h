#pragma once

#include <QByteArray>
#include <QList>

// The rows of `lines` that repeat an earlier row exactly, in ascending order. Removing them
// keeps the first of equal lines and the order of the rest.
QList<int> duplicateRows(const QList<QByteArray>& lines);
