#pragma once

#include <QLoggingCategory>

// The debug log's lines, and what the program says about itself on the way out: warnings are
// on, the debug log's own lines (info) only when asked for (QT_LOGGING_RULES="ekranik.*=true").
Q_DECLARE_LOGGING_CATEGORY(lcLog)
