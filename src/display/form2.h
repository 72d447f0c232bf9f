#pragma once

#include <QWidget>

// RadudoVorozu, the desktop widget that shows the now-playing lines over the desktop. Created
// hidden at start-up, right after the main window.
class Form2 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 297;
    static constexpr int kHeight = 81;
    static constexpr int kLeft = 622;

    explicit Form2(QWidget* parent = nullptr);
};
