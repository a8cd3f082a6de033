// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Options window: our own settings, one page each (Alarms, MQTT, ...), in
// the look of the other secondary windows, every page's tab in sight. Save
// checks every page, then saves every page in turn and stays open, so that
// what the saved settings did shows on the pages (the web server's
// addresses, the broker's answer); Close closes, saving nothing more. It
// lives here, beside the other widgets, so that each room makes its own page
// without knowing the others.

#include "core/Forms.h"

#include <QDialog>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTabWidget;

namespace ui {

// A page of the Options window.
class OptionsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Whether every value can be saved; tells what is wrong (one message)
    // and returns false otherwise. Writes nothing.
    virtual bool check() = 0;
    // Checks, then writes the page's file; false after its message.
    virtual bool save() = 0;
    // Shows the page's file as it is now.
    virtual void Form_Load() { }

protected:
    // The form's texts from the controls named by the keys of `fields` (a
    // line entry's text, "1" or "0" for a tick box), in the local 8-bit
    // encoding or UTF-8; and shown back on them.
    core::FormValues formValues(const std::vector<core::FormField> &fields, bool local) const;
    void showFormValues(const core::FormValues &values, bool local);
    // A form's problem told (its control, if it has one, given the focus).
    void tellProblem(const core::FormProblem &problem, class MessageService &messages, bool local);
};

class Options : public QDialog {
    Q_OBJECT
public:
    explicit Options(QWidget *parent = nullptr);

    // Adds a page after the others; the window owns it. `takeUp` (may be
    // empty) runs once the page's file was written, so what runs uses it.
    void addPage(OptionsPage *page, const QString &title, std::function<void()> takeUp = {});

    // A page that refuses is shown and nothing is written. Otherwise each page
    // saves in turn, the window says so and its result is Accepted; a page
    // whose file cannot be written is shown and those after it are not saved.
    // The pages saved are taken up in either case.
    void Save_Click();

    QTabWidget *tabs() const { return m_tabs; }
    int pageCount() const { return int(m_pages.size()); }
    OptionsPage *page(int index) const { return m_pages[size_t(index)].page; }
    // The first page of type T, or null.
    template <typename T>
    T *page() const
    {
        for (const Page &p : m_pages)
            if (auto *t = qobject_cast<T *>(p.page))
                return t;
        return nullptr;
    }

    QPushButton *Save, *Close;
    // "Saved at 14:05:09." after a save.
    QLabel *Saved;

private:
    struct Page {
        OptionsPage *page;
        std::function<void()> takeUp;
    };
    std::vector<Page> m_pages;
    QTabWidget *m_tabs;
};

} // namespace ui
