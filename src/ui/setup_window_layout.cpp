#include "setup_window_layout.h"

#include "setup_log_list.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const char *const kAccept = "Accept Changes";

QLineEdit *addField(SetupWidgets &w, int n, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QStringLiteral("Text%1").arg(n));
    w.text.at(n) = field;
    return field;
}

QPushButton *addButton(SetupWidgets &w, int n, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QStringLiteral("Command%1").arg(n));
    w.command.at(n) = button;
    return button;
}

QGroupBox *addSection(const QString &title, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(QStringLiteral("Frame") + title.simplified().remove(u' ').remove(u'-'));
    return box;
}

// A section with "Type" and "Range" fields over an accept button: each CT channel and the PT.
QGroupBox *typeAndRange(SetupWidgets &w, const QString &title, int typeField, int button,
                        QWidget *parent)
{
    QGroupBox *box = addSection(title, parent);
    auto *grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("Type"), box), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Range"), box), 0, 1);
    grid->addWidget(addField(w, typeField, box), 1, 0);
    grid->addWidget(addField(w, typeField + 1, box), 1, 1);
    grid->addWidget(addButton(w, button, QString::fromLatin1(kAccept), box), 2, 0, 1, 2);
    return box;
}

QString typicalSettingsText()
{
    return QStringList{QStringLiteral("    Typical Setting Values:"), QString(),
                       QStringLiteral("SPLIT-60: Type:100/Range:5"),
                       QStringLiteral("SPLIT-100: Type:167/Range:5"),
                       QStringLiteral("CLAMP-100: Type:167/Range:5"),
                       QStringLiteral("SPLIT-200: Type:167/Range:4"),
                       QStringLiteral("CLAMP-200: Type:167/Range:4")}
        .join(u'\n');
}

QGroupBox *ctSection(SetupWidgets &w, QWidget *parent)
{
    QGroupBox *box = addSection(QStringLiteral("CT Setup"), parent);
    auto *grid = new QGridLayout(box);
    w.channel1 = typeAndRange(w, QStringLiteral("CH 1 "), 1, 1, box);
    w.channel2 = typeAndRange(w, QStringLiteral("CH2"), 3, 2, box);
    grid->addWidget(w.channel1, 0, 0);
    grid->addWidget(w.channel2, 0, 1);
    const QStringList presets{QStringLiteral("SPLIT-60 CT"), QStringLiteral("SPLIT-100 or CLAMP-100"),
                              QStringLiteral("SPLIT-150"), QStringLiteral("SPLIT-200 or CLAMP-200")};
    for (int n = 1; n <= 4; ++n) {
        auto *option = new QRadioButton(presets.at(n - 1), box);
        option->setObjectName(QStringLiteral("Option%1").arg(n));
        w.option.at(n) = option;
        grid->addWidget(option, n, 0, 1, 2);
    }
    w.typicalSettings = new QPlainTextEdit(typicalSettingsText(), box);
    w.typicalSettings->setObjectName(QStringLiteral("Text12"));
    w.typicalSettings->setReadOnly(true);
    grid->addWidget(w.typicalSettings, 5, 0, 1, 2);
    return box;
}

// A section of one field with an optional caption above it and an optional accept button.
QGroupBox *fieldSection(SetupWidgets &w, const QString &title, const QString &caption,
                        int field, int button, QWidget *parent)
{
    QGroupBox *box = addSection(title, parent);
    auto *column = new QVBoxLayout(box);
    if (!caption.isEmpty())
        column->addWidget(new QLabel(caption, box));
    column->addWidget(addField(w, field, box));
    if (button > 0)
        column->addWidget(addButton(w, button, QString::fromLatin1(kAccept), box));
    return box;
}

QGroupBox *utilitySection(SetupWidgets &w, QWidget *parent)
{
    QGroupBox *box = addSection(QStringLiteral("Orvo Utility Commands"), parent);
    auto *grid = new QGridLayout(box);
    grid->addWidget(addButton(w, 8, QStringLiteral("Read Serial Number"), box), 0, 0);
    grid->addWidget(addField(w, 11, box), 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Response"), box), 1, 1, 1, 2);
    grid->addWidget(addButton(w, 9, QStringLiteral("Send Acknowledge"), box), 2, 0);
    grid->addWidget(addField(w, 10, box), 2, 1, 1, 2);
    grid->addWidget(addButton(w, 15, QStringLiteral("Toggle CH1 Polarity"), box), 3, 0);
    grid->addWidget(addButton(w, 16, QStringLiteral("Toggle CH2 Polarity"), box), 3, 1, 1, 2);
    grid->addWidget(addButton(w, 10, QStringLiteral("Reset Orvo-88"), box), 4, 0);
    grid->addWidget(addButton(w, 11, QStringLiteral("Reset Static Pre-Reset Values"), box), 4, 1, 1, 2);
    grid->addWidget(addButton(w, 12, QStringLiteral("connect"), box), 5, 0);
    grid->addWidget(addButton(w, 13, QStringLiteral("disconnect"), box), 5, 1);
    grid->addWidget(addButton(w, 14, QStringLiteral("test"), box), 5, 2);
    return box;
}

} // namespace

SetupWidgets buildSetupWidgets(QMainWindow &window, SetupLog &log)
{
    SetupWidgets w;
    auto *central = new QWidget(&window);
    auto *grid = new QGridLayout(central);
    grid->addWidget(ctSection(w, central), 0, 0, 6, 1);
    grid->addWidget(typeAndRange(w, QStringLiteral("PT Setup"), 6, 4, central), 0, 1);
    grid->addWidget(fieldSection(w, QStringLiteral("Data Logger Storage Interval"),
                                 QStringLiteral("Minutes"), 5, 3, central), 1, 1);
    grid->addWidget(fieldSection(w, QStringLiteral("Firmware Version"), {}, 8, 0, central), 2, 1);
    grid->addWidget(fieldSection(w, QStringLiteral("Device ID"), {}, 9, 7, central), 3, 1);
    grid->addWidget(addButton(w, 6, QStringLiteral("Read Orvo-88 Settings"), central), 4, 1);
    grid->addWidget(utilitySection(w, central), 0, 2, 5, 1);
    w.list = new SetupLogList(log, central);
    grid->addWidget(w.list, 6, 0, 1, 3);
    grid->addWidget(addButton(w, 5, QStringLiteral("Exit"), central), 7, 2);
    window.setCentralWidget(central);
    return w;
}
