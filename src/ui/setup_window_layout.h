#pragma once

#include <array>

class QGroupBox;
class QLineEdit;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class SetupLog;
class SetupLogList;

// The setup window's controls. Each has its control name as object name (Text1, Command2,
// Option3, List1): the fields by number, the buttons by number, the preset options 1 to 4.
struct SetupWidgets {
    std::array<QLineEdit *, 12> text{};           // text[n] is Text<n>; text[0] is unused
    QPlainTextEdit *typicalSettings = nullptr;     // Text12
    std::array<QPushButton *, 17> command{};      // command[n] is Command<n>; 0 is unused
    std::array<QRadioButton *, 5> option{};       // option[n] is Option<n>; 0 is unused
    QGroupBox *channel1 = nullptr;                 // "CH 1 "
    QGroupBox *channel2 = nullptr;                 // "CH2"
    SetupLogList *list = nullptr;                  // List1
};

// Builds the window's sections, captions and controls into window; the status list shows log.
// The channel 2 section is built by the same steps as channel 1, so it matches it.
SetupWidgets buildSetupWidgets(QMainWindow &window, SetupLog &log);
