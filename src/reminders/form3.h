#pragma once

#include <QWidget>

// The reminder window: pops up, always on top, when the reminder keyword turns up in a title
// on air.
class Form3 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 351;
    static constexpr int kHeight = 175;

    explicit Form3(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
