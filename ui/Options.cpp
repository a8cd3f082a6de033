// SPDX-License-Identifier: GPL-3.0-or-later
#include "Options.h"

#include "Controls.h"
#include "Twips.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ui {

Options::Options(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Options"));
    setColours(this, darkGreen(), brightGreen());

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    setColours(m_tabs, darkGreen(), brightGreen());

    Save = button(this, QStringLiteral("Save"), QStringLiteral("Save"));
    Cancel = button(this, QStringLiteral("Cancel"), QStringLiteral("Cancel"));
    for (QPushButton *b : {Save, Cancel})
        b->setFixedSize(86, 24);
    connect(Save, &QPushButton::clicked, this, &Options::Save_Click);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Save);
    buttons->addWidget(Cancel);
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
    accept();
}

} // namespace ui
