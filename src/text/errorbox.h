#pragma once

#include <QString>
#include <functional>

// How the program shows an error to the user: the framework's box with the message and an OK
// button, installed once at start. Until one is installed the message goes to the warning log;
// tests install their own to collect the messages.
using ErrorBox = std::function<void(const QString& text)>;

void setErrorBox(ErrorBox box);
void showErrorBox(const QString& text);
