#pragma once

// The options window as the main window opens it, on a manual clock and a fake port, with the
// settings in a recording store or a given one.
#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "main_menu.h"
#include "main_window.h"
#include "manual_clock.h"
#include "options_window.h"
#include "recorders.h"
#include "recording_settings_store.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

struct OptionsRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingSettingsStore recording;
    SettingsStore &store;
    RecordingPrompts prompts;
    MainWindow window{port, clock, store, &prompts};

    explicit OptionsRig(QMap<QString, QString> values = {}, SettingsStore *other = nullptr)
        : store(other ? *other : recording)
    {
        recording.values = values;
        window.core().prepare();
    }
    OptionsWindow &open()
    {
        window.menu().options->trigger();
        OptionsWindow *w = window.optionsWindow();
        active = QTest::qWaitForWindowActive(w);
        return *w;
    }
    bool active = false;
    template <class T>
    T &child(const QString &name) { return *window.optionsWindow()->findChild<T *>(name); }
    // Types into the field and leaves it for the next one (by default the "Done" button), as the
    // Tab key does.
    void leave(const QString &name, const QString &text, const QString &next = "Command1")
    {
        auto &field = child<QLineEdit>(name);
        auto &tabs = child<QTabWidget>("SSTab1");
        for (int i = 0; i < tabs.count(); ++i)
            if (tabs.widget(i)->isAncestorOf(&field))
                tabs.setCurrentIndex(i);
        field.setFocus();
        field.setText(text);
        child<QWidget>(next).setFocus(Qt::TabFocusReason);
    }
    bool focusIsOn(const QString &name) { return window.optionsWindow()->focusWidget()->objectName() == name; }
    void closeWith(const char *how)
    {
        if (QByteArray(how) == "Done")
            child<QPushButton>("Command1").click();
        else
            window.optionsWindow()->findChild<QAction *>("MnuExit")->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};
