#pragma once

#include <QByteArray>
#include <QDialog>

class GlowButton;
class QComboBox;
class QLabel;
class QLineEdit;
class WindowDragger;

// The input dialog: a one-line modal prompt shared by adding a station, setting a reminder and
// showing a station's address. The caller fills the prompt `a`, the purpose `d` and the input
// `b` and opens it; OK decides from the purpose what the text is for.
class Okienko : public QDialog {
    Q_OBJECT
public:
    static inline const QString kAddStation = QStringLiteral("Dodaj stację");
    static inline const QString kShowAddress = QStringLiteral("Program TV na dziś");
    static inline const QString kAddReminder = QStringLiteral("Dodaj przypomnienie");
    // Typed as a station, it opens the main window's debug area instead.
    static inline const QString kDebugAccessWord = QStringLiteral("mrowka");

    explicit Okienko(QWidget* parent = nullptr);

    // Fills the three caller-set controls, then runs the dialog modally until it closes.
    void openWith(const QString& prompt, const QString& purpose, const QString& input);

    void okbutClick();
    // The reminder keyword last confirmed; later uses of the edit box leave it alone.
    const QByteArray& reminderKeyword() const { return m_reminderKeyword; }
    // When a reminder reminds, as chosen in the dialog: 0 when the programme is on, or the
    // minutes before it starts. A value that is no choice chooses 0.
    int minutesBefore() const;
    void setMinutesBefore(int minutes);

signals:
    // A new station entry, already checked to be safe to save and fetch.
    void stationEntered(const QByteArray& entry);
    void debugAccessWordEntered();
    // A reminder keyword was confirmed (Windows-1250 bytes, as typed), to remind when the
    // programme is on (0) or that many minutes before it starts.
    void reminderArmed(const QByteArray& keyword, int minutesBefore);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Hands a new station on, or shows why it cannot be one and returns false.
    bool addStation(const QString& input);
    // Stores and hands on a new reminder keyword, or shows why it cannot be one.
    bool armReminder(const QString& input);
    void refuse(const QString& reason);
    // The purpose as the dialog shows it, in the user's language.
    static QString purposeCaption(const QString& purpose);

    QString m_purpose;

    static constexpr int kPromptTop = 38;
    static constexpr int kInputWidth = 281;
    // The choice of when to remind, right of a narrower input box.
    static constexpr int kWhenLeft = 192;
    static constexpr int kWhenGap = 6;

    QLabel* Label4;
    QLabel* d; // the purpose, set by the caller
    QLabel* a; // the prompt, set by the caller
    QLineEdit* b;
    QComboBox* kiedy; // when to remind; only a reminder asks
    QLabel* abc;      // the stored reminder keyword, never shown
    GlowButton* okbut;
    QLabel* why; // why the input was refused, shown in place of the prompt

    WindowDragger* m_dragger;
    QByteArray m_reminderKeyword;
};
