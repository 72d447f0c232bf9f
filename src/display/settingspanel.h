#pragma once

#include "display/form2.h"

#include <QColor>
#include <QFrame>

class QCheckBox;
class QLabel;
class QRadioButton;

// The widget settings panel `acset`: laid over the main window's station list, it changes how
// the desktop widget looks. Every control acts on the widget at once when clicked, and says so
// with optionsChanged, so that the choice can be kept for the next start.
class SettingsPanel : public QFrame {
    Q_OBJECT
public:
    // What the panel sets, the key colour included, which the panel chooses though it shows
    // it nowhere. The defaults are the states at start.
    struct Options {
        bool clock = true;
        bool progressLine = true;
        bool compact = true; // the list scrolls; otherwise the widget is tall
        bool frame = false;
        bool keying = true;
        Form2::Scheme scheme = Form2::Scheme::LightText;
        QColor keyColor = Qt::black;
        bool operator==(const Options&) const = default;
    };

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

    Options options() const;
    // Sets the controls and the widget alike, as they were left at an earlier run.
    void setOptions(const Options& options);

signals:
    // A control was clicked.
    void optionsChanged();

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
