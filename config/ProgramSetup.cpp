// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramSetup.h"

#include "core/Forms.h"
#include "core/Number.h"
#include "core/Settings.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace config {

int TriCheckBox::value() const
{
    switch (checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    default: return 0;
    }
}

void TriCheckBox::setValue(int state)
{
    setCheckState(state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

void TriCheckBox::nextCheckState() { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }

namespace {
const int kRowHeight = 22;
const int kLabelWidth = 138;
const int kEntryLeft = 146;

int rowTop(int row) { return 6 + row * kRowHeight; }

QLabel *rowLabel(QWidget *parent, const char *name, const QString &caption, int left, int row, int width)
{
    QLabel *l = ui::greenLabel(parent, QLatin1String(name), caption);
    l->setGeometry(left, rowTop(row), width, 20);
    return l;
}

QLineEdit *rowEntry(QWidget *parent, const char *name, int row, int width)
{
    QLineEdit *e = ui::greenEntry(parent, QLatin1String(name));
    e->setGeometry(kEntryLeft, rowTop(row), width, 20);
    return e;
}

TriCheckBox *rowCheck(QWidget *parent, const char *name, int row)
{
    auto *c = new TriCheckBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setGeometry(kEntryLeft, rowTop(row) + 1, 18, 18);
    ui::setColours(c, ui::brightGreen(), Qt::black);
    return c;
}

// The notes on the right are small and may take two lines.
void note(QLabel *l)
{
    l->setFont(QFont(QStringLiteral("Arial"), 7));
    l->setWordWrap(true);
    l->setGeometry(l->x(), l->y() - 2, l->width(), 22);
}

} // namespace

ProgramSetup::ProgramSetup(const ui::Services &services, QWidget *parent) : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("ProgramSetup"));
    setWindowTitle(QStringLiteral(" Setup"));
    setFixedSize(270, 204);
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    rowLabel(this, "Label1", QStringLiteral("Com port"), 6, 0, kLabelWidth);
    PortNumber = rowEntry(this, "PortNumber", 0, 40);
    rowLabel(this, "Label2", QStringLiteral("Save HTML page?"), 6, 1, kLabelWidth);
    Savehtml = rowCheck(this, "Savehtml", 1);
    note(rowLabel(this, "Label4", QStringLiteral("Saved to /html folder"), 168, 1, 100));
    rowLabel(this, "Label3", QStringLiteral("Save Excel File?"), 6, 2, kLabelWidth);
    SaveExcel = rowCheck(this, "SaveExcel", 2);
    note(rowLabel(this, "Label5", QStringLiteral("Saved to /Excel folder"), 168, 2, 100));
    rowLabel(this, "Label6", QStringLiteral("Default Logging Interval"), 6, 3, kLabelWidth);
    LogDelay = rowEntry(this, "LogDelay", 3, 34);
    note(rowLabel(this, "Label8", QStringLiteral("Seconds ( 10 - 600 )"), 184, 3, 84));
    rowLabel(this, "Label7", QStringLiteral("Start Logger Automatically?"), 6, 4, kLabelWidth);
    LogOn = rowCheck(this, "LogOn", 4);
    rowLabel(this, "Label9", QStringLiteral("Display RPM?"), 6, 5, kLabelWidth);
    DisplayRPM = rowCheck(this, "DisplayRPM", 5);
    rowLabel(this, "Label10", QStringLiteral("Display Wind Speed?"), 6, 6, kLabelWidth);
    DisplayWS = rowCheck(this, "DisplayWS", 6);
    rowLabel(this, "Label11", QStringLiteral("Wind Speed Units"), 6, 7, kLabelWidth);
    WSUnits = rowEntry(this, "WSUnits", 7, 60);

    Command1 = ui::button(this, QStringLiteral("Command1"), QStringLiteral("Save Setings"));
    Command1->setGeometry(170, 178, 94, 22);
    connect(Command1, &QPushButton::clicked, this, &ProgramSetup::Command1_Click);

    // Entries that must be numbers are marked while they are not.
    for (QLineEdit *e : {PortNumber, LogDelay})
        connect(e, &QLineEdit::textChanged, this, &ProgramSetup::markNumbers);

    for (QLabel *l : findChildren<QLabel *>())
        if (l->font().pointSize() != 7)
            l->setFont(QFont(QStringLiteral("Arial"), 8));

    Form_Load();
}

void ProgramSetup::Form_Load()
{
    // The main window tells about a broken file; here it only shows defaults.
    const core::FormValues v = core::setupValues(ui::ProgramFolder(m_services.programFolder).programSettings());
    for (QLineEdit *e : {PortNumber, LogDelay, WSUnits})
        e->setText(ui::fromLocal(v.at(key(e))));
    for (TriCheckBox *c : ticks())
        c->setValue(std::stoi(v.at(key(c))));
    markNumbers();
}

void ProgramSetup::markNumbers()
{
    const auto why = [](const QLineEdit *e, const char *rest) {
        return core::readNumber(ui::toLocal(e->text()))
                   ? QString()
                   : QStringLiteral("\"%1\" is not a number. ").arg(e->text()) + QLatin1String(rest);
    };
    ui::markEntry(PortNumber,
                  why(PortNumber, "The port must be one (1 to 8, 1 or 2 most common); Save Setings refuses it "
                                  "until it is."));
    ui::markEntry(LogDelay, why(LogDelay, "It is saved as typed, but logging does not start until it is a number "
                                          "of seconds (10 - 600)."));
}

void ProgramSetup::Command1_Click()
{
    core::FormValues v;
    for (QLineEdit *e : {PortNumber, LogDelay, WSUnits})
        v[key(e)] = ui::toLocal(e->text());
    for (TriCheckBox *c : ticks())
        v[key(c)] = std::to_string(c->value());
    core::ProgramSettings s;
    if (const auto problem = core::readSetupValues(v, s)) {
        m_services.messages->inform(this, ui::fromLocal(problem->text));
        return;
    }
    const ui::ProgramFolder folder(m_services.programFolder);
    if (!folder.writeProgramSettings(s)) {
        // Nothing was changed on disk; keep the window open so nothing typed is lost.
        m_services.messages->inform(
            this, QStringLiteral(
                      "Could not save %1. Check that the folder can be written to, then press Save Setings again.")
                      .arg(QDir::toNativeSeparators(folder.programSettingsFile())));
        return;
    }
    accept();
}

std::vector<TriCheckBox *> ProgramSetup::ticks() const { return {Savehtml, SaveExcel, LogOn, DisplayRPM, DisplayWS}; }

std::string ProgramSetup::key(const QWidget *entry)
{
    // Each entry's key in the file; the port's is the one named otherwise.
    const QString name = entry->objectName();
    return name == QLatin1String("PortNumber") ? std::string("Port") : name.toStdString();
}

} // namespace config
