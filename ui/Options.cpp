// SPDX-License-Identifier: GPL-3.0-or-later
#include "Options.h"

#include "Controls.h"
#include "Files.h"
#include "Notices.h"
#include "Services.h"
#include "Twips.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QTime>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ui {

namespace {
QString shown(const std::string &text, bool local) { return local ? fromLocal(text) : QString::fromStdString(text); }
} // namespace

core::FormValues OptionsPage::formValues(const std::vector<core::FormField> &fields, bool local) const
{
    core::FormValues v;
    for (const core::FormField &f : fields) {
        const QString name = QString::fromStdString(f.key);
        if (const auto *tick = findChild<QCheckBox *>(name))
            v[f.key] = tick->isChecked() ? "1" : "0";
        else if (const auto *entry = findChild<QLineEdit *>(name))
            v[f.key] = local ? toLocal(entry->text()) : entry->text().toStdString();
    }
    return v;
}

void OptionsPage::showFormValues(const core::FormValues &values, bool local)
{
    for (const auto &[key, value] : values) {
        const QString name = QString::fromStdString(key);
        if (auto *tick = findChild<QCheckBox *>(name))
            tick->setChecked(value == "1");
        else if (auto *entry = findChild<QLineEdit *>(name))
            entry->setText(shown(value, local));
    }
}

void OptionsPage::tellProblem(const core::FormProblem &problem, MessageService &messages, bool local)
{
    messages.inform(this, shown(problem.text, local));
    if (QWidget *w = problem.key.empty() ? nullptr : findChild<QWidget *>(QString::fromStdString(problem.key)))
        w->setFocus();
}

Options::Options(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Options"));
    setColours(this, darkGreen(), brightGreen());

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    setColours(m_tabs, darkGreen(), brightGreen());
    // Every tab in sight: the window is as wide as they need, rather than
    // scrolling them, where a click after scrolling lands on another page.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);

    Saved = greenLabel(this, QStringLiteral("Saved"), QString());
    Save = button(this, QStringLiteral("Save"), QStringLiteral("Save"));
    Close = button(this, QStringLiteral("Close"), QStringLiteral("Close"));
    for (QPushButton *b : {Save, Close})
        b->setFixedSize(86, 24);
    connect(Save, &QPushButton::clicked, this, &Options::Save_Click);
    connect(Close, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Saved, 1);
    buttons->addWidget(Save);
    buttons->addWidget(Close);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);
    // As large as the largest page, whichever is shown.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Options::addPage(OptionsPage *page, const QString &title, std::function<void()> takeUp)
{
    m_tabs->addTab(page, title);
    m_pages.push_back({page, std::move(takeUp)});
}

void Options::Save_Click()
{
    Saved->clear();
    for (int i = 0; i < pageCount(); ++i)
        if (!m_pages[size_t(i)].page->check()) {
            m_tabs->setCurrentIndex(i);
            return;
        }
    int saved = 0;
    while (saved < pageCount() && m_pages[size_t(saved)].page->save())
        ++saved;
    // A file written is taken up at once, also when a later one failed: what
    // runs never differs from what the files say.
    for (int i = 0; i < saved; ++i)
        if (m_pages[size_t(i)].takeUp)
            m_pages[size_t(i)].takeUp();
    if (saved < pageCount()) {
        m_tabs->setCurrentIndex(saved);
        return;
    }
    setResult(QDialog::Accepted);
    Saved->setText(savedAtText(QTime::currentTime()));
}

} // namespace ui
