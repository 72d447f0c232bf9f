#pragma once

#include <QIcon>

// The program's picture, a small television drawn at 16, 32 and 48 pixels.
QIcon programIcon();
