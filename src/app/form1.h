#pragma once

#include "display/publisher.h"

#include <QByteArray>
#include <QStringList>
#include <QWidget>

class DebugArea;
class GlowButton;
class QAbstractItemModel;
class QAction;
class QLabel;
class SegmentBar;
class SettingsPanel;
class StationListBox;
class WidgetLookModel;

// The main window: the station list and its buttons, the widget settings panel and the display
// mode menu, and below the visible area the debug area with the log and the now-playing list.
// It lays out its controls and handles their clicks; what the user asks of the rest of the
// program goes out as a signal, and what the program has to show comes in through the functions
// below. Controls keep their layout names, as their object names too.
class Form1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 350;
    static constexpr int kHeight = 239;
    static constexpr int kDebugHeight = 645;
    static inline const QString kCaption = QStringLiteral("ekranik 2oo6");
    static inline const QString kRelease = QStringLiteral("o.912");

    // `programy` is the program's station list, laid out and owned here from now on; the debug
    // area shows `nowPlaying`; the settings panel edits `look`.
    Form1(StationListBox* programy, QAbstractItemModel* nowPlaying, WidgetLookModel* look,
          QWidget* parent = nullptr);

    // The station files are in: the release stands beside the title.
    void showRelease();
    // The debug access word: the window grows to show the debug area.
    void showDebugArea();
    // The progress bar and the debug area's caption.
    void showDownloadProgress(const QByteArray& station, int readed, int total);
    void appendLog(const QStringList& lines);
    // The desktop has no tray: said once, in the log and in the debug area.
    void reportNoTray();
    // Checks the item of the display mode, as a click on it does.
    void chooseDisplayMode(Publisher::Mode mode);
    // "Przypomnienie" says what it looks for while a reminder is armed; empty: none is.
    void showReminder(const QByteArray& keyword);

signals:
    // "[ok]": the window goes to the tray; "[kanały]": the channel picker.
    void hideChosen();
    void channelPickerChosen();
    // A button wants the input dialog with this prompt, purpose and text.
    void inputWanted(const QString& prompt, const QString& purpose, const QString& input);
    void displayModeChosen(Publisher::Mode mode);
    // The debug area's buttons.
    void clearNowPlayingChosen();
    void testLineChosen(const QByteArray& line);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildLayout(QAbstractItemModel* nowPlaying, WidgetLookModel* look);
    void buildMenu();

    void Label5Click();
    void addClick();
    void delClick();
    void mhmClick();
    void programyDblClick();

    // Controls, by their layout names.
    QLabel* ver;
    StationListBox* programy;
    SettingsPanel* acset;
    DebugArea* debugArea;
    GlowButton* GlowButton3;
    GlowButton* mhm;
    SegmentBar* pb;
    QAction* c1;
    QAction* c2;
};
