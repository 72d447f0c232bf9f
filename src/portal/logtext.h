#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A log line as it may be written to a terminal or a journal: every byte outside printable
// ASCII, and the backslash itself, as \xNN. Requests and listings come from outside, and a
// control byte in them (ESC, BEL, CR) must not reach a terminal, nor forge a line of its own.
QByteArray logText(QByteArrayView line);
