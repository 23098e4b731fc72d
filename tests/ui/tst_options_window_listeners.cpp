// The options window's "Listeners" tab on the real widgets: its texts, the settings it shows
// and stores in a real INI file on "Done" (not on "Exit"), the API's address once it listens,
// and why it does not when the address reaches beyond this computer without a token.
#include "ini_settings_store.h"
#include "options_rig.h"
#include "options_window_listeners.h"
#include "process_fixtures.h"
#include "status_log_list.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>

namespace {

// The rig on a real settings file: the "http" group needs one.
struct ListenersRig {
    QTemporaryDir dir;
    QString path = dir.filePath("Orvotove.ini");
    std::unique_ptr<IniSettingsStore> store;
    std::unique_ptr<OptionsRig> rig;

    explicit ListenersRig(const QMap<QString, QString> &ini = {})
    {
        QSettings file(path, QSettings::IniFormat);
        for (auto it = ini.begin(); it != ini.end(); ++it)
            file.setValue(it.key(), it.value());
        file.sync();
        store = std::make_unique<IniSettingsStore>(path);
        rig = std::make_unique<OptionsRig>(QMap<QString, QString>{}, store.get());
        rig->open();
        auto &tabs = rig->child<QTabWidget>("SSTab1");
        tabs.setCurrentWidget(&rig->window.optionsWindow()->listenersTab());
    }
    template <class T>
    T &child(const QString &name) { return rig->child<T>(name); }
    QString stored(const QString &key) { return QSettings(path, QSettings::IniFormat).value(key).toString(); }
};

} // namespace

class TestOptionsWindowListeners : public QObject {
    Q_OBJECT
private slots:
    void open_showsTextsAndStoredSettings();
    void doneOrExit_onlyDoneStoresAndListens_data();
    void doneOrExit_onlyDoneStoresAndListens();
    void beyondLoopbackWithoutToken_statusSaysWhy();
};

void TestOptionsWindowListeners::open_showsTextsAndStoredSettings()
{
    ListenersRig r({{"http/Enabled", "False"}, {"http/Listen", "0.0.0.0:9000"}, {"http/Token", "t0k"},
                    {"startup/ListenAddress", "127.0.0.1"}, {"startup/ServerReadOnly", "True"}});
    ListenersTab &tab = r.rig->window.optionsWindow()->listenersTab();
    auto &tabs = r.child<QTabWidget>("SSTab1");
    QCOMPARE(tabs.tabText(tabs.indexOf(&tab)), "Listeners");
    QStringList texts;
    for (const auto *g : tab.findChildren<QGroupBox *>()) texts << g->title();
    for (const auto *l : tab.findChildren<QLabel *>()) texts << l->text();
    for (const auto *c : tab.findChildren<QCheckBox *>()) texts << c->text();
    for (const auto *f : tab.findChildren<QLineEdit *>()) texts << f->placeholderText();
    for (const char *t : {"HTTP API", "TCP Data Server", "Listen on", "Token", "Status",
                          "The HTTP API is off",
                          "Serve the readings over HTTP (JSON and Prometheus metrics)",
                          "Read only: clients cannot reset the monitor, toggle a polarity or switch loads",
                          "127.0.0.1:8088; 0.0.0.0:8088 or [::]:8088 for the LAN",
                          "needed to listen beyond this computer", "every interface"})
        QVERIFY2(texts.contains(QLatin1String(t)), t);
    QVERIFY(!r.child<QCheckBox>("httpEnabled").isChecked());
    QCOMPARE(r.child<QLineEdit>("httpListen").text(), "0.0.0.0:9000");
    QCOMPARE(r.child<QLineEdit>("httpToken").text(), "t0k");
    QCOMPARE(r.child<QLineEdit>("httpToken").echoMode(), QLineEdit::Password);
    QCOMPARE(r.child<QLineEdit>("serverListenAddress").text(), "127.0.0.1");
    QVERIFY(r.child<QCheckBox>("serverReadOnly").isChecked());
}

void TestOptionsWindowListeners::doneOrExit_onlyDoneStoresAndListens_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Done") << "Done";
    QTest::newRow("Exit") << "Exit";
}

void TestOptionsWindowListeners::doneOrExit_onlyDoneStoresAndListens()
{
    QFETCH(QString, how);
    const bool done = how == u"Done";
    ListenersRig r;
    const QString listen = QStringLiteral("127.0.0.1:%1").arg(unusedLoopbackPort());
    r.child<QCheckBox>("httpEnabled").click();
    r.child<QLineEdit>("httpListen").setText(listen);
    r.child<QLineEdit>("serverListenAddress").setText(" 127.0.0.1 ");
    r.child<QCheckBox>("serverReadOnly").click();
    r.rig->closeWith(qPrintable(how));
    QCOMPARE(r.stored("http/Enabled"), done ? "True" : "");
    QCOMPARE(r.stored("http/Listen"), done ? listen : "");
    QCOMPARE(r.stored("startup/ListenAddress"), done ? "127.0.0.1" : "");
    QCOMPARE(r.stored("startup/ServerReadOnly"), done ? "True" : "");
    AcquisitionCore &core = r.rig->window.core();
    QCOMPARE(core.http().isListening(), done);
    QCOMPARE(core.dataServerSettings().readOnly, done);

    r.rig->open();
    const QString status = done ? "HTTP API on http://" + listen + "/" : "The HTTP API is off";
    QCOMPARE(r.rig->window.optionsWindow()->listenersTab().statusText(), status);
    QCOMPARE(r.rig->window.statusLog().lines().contains(status), done);
}

void TestOptionsWindowListeners::beyondLoopbackWithoutToken_statusSaysWhy()
{
    ListenersRig r;
    r.child<QCheckBox>("httpEnabled").click();
    r.child<QLineEdit>("httpListen").setText("0.0.0.0:8088");
    r.rig->closeWith("Done");
    QVERIFY(!r.rig->window.core().http().isListening());
    r.rig->open();
    const QString why = "HTTP: Listen 0.0.0.0:8088 reaches beyond this computer and needs a Token; "
                        "the HTTP API is off.";
    QCOMPARE(r.rig->window.optionsWindow()->listenersTab().statusText(), why);
    QVERIFY(r.rig->window.statusLog().lines().contains(why));
}

QTEST_MAIN(TestOptionsWindowListeners)
#include "tst_options_window_listeners.moc"
