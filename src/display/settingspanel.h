#pragma once

#include <QFrame>

class Form2;
class QCheckBox;
class QLabel;
class QRadioButton;

// The widget settings panel `acset`: laid over the main window's station list, it changes how
// the desktop widget looks. Every control acts on the widget at once when clicked; nothing is
// stored, each start begins with these states.
class SettingsPanel : public QFrame {
    Q_OBJECT
public:
    explicit SettingsPanel(QWidget* parent = nullptr);

    // The widget the controls act on.
    void setWidget(Form2* widget) { m_widget = widget; }

    void CheckBox1Click();
    void CheckBox2Click();
    void abcClick();
    void ramkaClick();
    void transpClick();
    void a1Click();
    void a2Click();

    // The frame option, which the widget reads at every paint.
    const QCheckBox* frameOption() const { return ramka; }

private:
    QLabel* Label2;
    QCheckBox* CheckBox1; // clock
    QCheckBox* CheckBox2; // progress line
    QCheckBox* abc;       // compact height (the list scrolls) or tall
    QCheckBox* ramka;     // frame
    QCheckBox* transp;    // colour keying
    QRadioButton* a1;     // dark texts on white
    QRadioButton* a2;     // light texts on black

    Form2* m_widget = nullptr;
};
