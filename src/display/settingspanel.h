#pragma once

#include "display/widgetlook.h"

#include <QFrame>
#include <QList>
#include <functional>

class QCheckBox;
class QLabel;
class QRadioButton;
class WidgetLookModel;

// The widget settings panel `acset`: laid over the main window's station list, it edits the
// desktop widget's look. Every click changes the look at once; the controls show the look as it
// stands, whoever changed it.
class SettingsPanel : public QFrame {
    Q_OBJECT
public:
    explicit SettingsPanel(WidgetLookModel* look, QWidget* parent = nullptr);

    // What moves the window the panel lies on when pressed: the panel's background and title.
    QList<QWidget*> dragHandles();

private:
    void showLook(const WidgetLook& look);
    // Changes the look the way `change` says.
    void edit(const std::function<void(WidgetLook&)>& change);

    void CheckBox1Click();
    void CheckBox2Click();
    void abcClick();
    void ramkaClick();
    void transpClick();
    void a1Click();
    void a2Click();
    void nextClick();

    QLabel* Label2;
    QCheckBox* CheckBox1; // clock
    QCheckBox* CheckBox2; // progress line
    QCheckBox* abc;       // compact height (the list scrolls) or tall
    QCheckBox* ramka;     // frame
    QCheckBox* transp;    // colour keying
    QRadioButton* a1;     // dark texts on white
    QRadioButton* a2;     // light texts on black
    QCheckBox* next;      // the next programme under each line

    WidgetLookModel* m_look;
};
