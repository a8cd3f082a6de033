// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calibration window: shows the unit's raw values next to the dividers
// being fitted, captures the current offset and saves "settings.cfg".

#include "core/CalibrationRead.h"
#include "ui/ReconnectingPort.h"
#include "ui/Services.h"

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace config {

class Calibrate : public QDialog {
    Q_OBJECT
public:
    // Builds the controls and runs Form_Load(): the window is filled and its
    // port is open (when it can be) before it is shown.
    Calibrate(const ui::Services &services, QWidget *parent = nullptr);
    ~Calibrate() override;

    // Reads both settings files, opens MSComm2 and fills the boxes.
    void Form_Load();
    // Receive notification of MSComm2: assembles a message and updates the read-outs.
    void MSComm2_OnComm();
    // "Zero": the raw current shown becomes the offset (saved only with Command1).
    void Command2_Click();
    // "Save Calibration": writes "settings.cfg", closes the port and the window.
    void Command1_Click();
    // "Exit ( dont save )": closes without writing anything.
    void Command6_Click();

    // The current offset; nullopt while the stored one is not a number and
    // "Zero" has not been pressed.
    std::optional<double> CalOffset() const { return m_calOffset; }
    const std::string &CalBuffer() const { return m_buffer.text(); }
    // This window's port; null when no port could be made.
    ui::SerialPort *MSComm2() const { return m_link ? m_link->port() : nullptr; }
    // Keeps the port open: retries after the device went away.
    ui::ReconnectingPort *link() const { return m_link; }
    // Port number from "prog.cfg"; nullopt when it is not a 16-bit number.
    std::optional<int> CalPort() const { return m_calPort; }
    QString CalUnits() const { return m_calUnits; }

    // Step 1
    QLabel *Label8, *Label2, *Label9, *Label10, *txtBattV, *Picture1, *Label6, *txtBattVadjusted;
    QLineEdit *BatteryVolts;
    // Step 2
    QLabel *Label11, *OffsetV, *Label1, *Label7, *Label12, *Label13, *txtShuntV, *Picture2, *Label20,
        *txtBattAadjusted;
    QPushButton *Command2;
    QLineEdit *BatteryCurrent;
    // Step 3
    QLabel *Label14, *Label3, *txtPulsess, *Picture3, *Label16, *txtWindmillRPM;
    QLineEdit *PulseDivider;
    // Step 4
    QLabel *Label21, *Label23, *txtPulsess2, *Picture4, *Label4, *txtWindSpeed;
    QLineEdit *Pulse2Divider;
    // Buttons
    QPushButton *Command6, *Command1;

public slots:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void markDividers();
    void markDivider(QLineEdit *box, QLabel *result, bool negativeAllowed);
    void closePort();
    QString settingsPath() const;

    ui::Services m_services;
    ui::ReconnectingPort *m_link = nullptr;
    core::CalibrationBuffer m_buffer;
    std::optional<int> m_calPort;
    QString m_calUnits;
    std::optional<double> m_calOffset;
    // The stored offset text, written back unchanged while it is not a number.
    std::string m_offsetText;
    double m_calWindSpeed = 0;
};

} // namespace config
