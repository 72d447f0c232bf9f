#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// A control of a window, found by its layout name. A test that asks for a control the window
// does not have stops there, naming it.
template <class T> T* control(const QObject* window, const char* name)
{
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("%s has no %s called \"%s\"", window->metaObject()->className(),
               T::staticMetaObject.className(), name);
    return found;
}
