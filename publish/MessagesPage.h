// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Messages page of the Options window: edits "messages.cfg" (the e-mail
// and push channels, the hold-off, the day's summary and the gap told), a
// "Send a test message" beside each channel with the server's answer, and
// how the channels fare now. Its fields and rules are the browser's too.

#include "core/Messages.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>

class QGridLayout;
class QLabel;

namespace publish {

class Messenger;

class MessagesPage : public ui::OptionsPage {
    Q_OBJECT
public:
    // `messenger` (may be null) sends the test messages and gives the state.
    MessagesPage(const ui::Services &services, Messenger *messenger, QWidget *parent = nullptr);

    // The file's channels and one more to add, shown anew.
    void Form_Load() override;
    bool check() override;
    bool save() override;
    // A test message to channel `row` (from 1) as typed.
    void test(int row);

    QLabel *Status;

private:
    std::optional<core::MessageSettings> read(bool tell);
    void showStatus();

    ui::Services m_services;
    Messenger *m_messenger;
    core::MessageSettings m_stored;
    QWidget *m_form = nullptr;
    QGridLayout *m_grid = nullptr;
};

} // namespace publish
