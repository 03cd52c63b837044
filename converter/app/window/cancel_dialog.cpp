#include "converter/app/window/cancel_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/app/window/window_language.h"

namespace vidorra {

CancelDialog::CancelDialog(UiLanguage language, QWidget* parent) : QDialog(parent) {
    setWindowTitle(WindowText("Cancel", language));
    auto* box = new QGroupBox(this);
    auto* boxLayout = new QVBoxLayout(box);
    m_choice = new QButtonGroup(box);
    const std::string_view names[] = {"Cancel current file", "Cancel all files"};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(WindowText(names[i], language), box);
        m_choice->addButton(radio, i);
        boxLayout->addWidget(radio);
    }
    m_ok = new QPushButton(WindowText("OK", language), this);
    m_ok->setObjectName("okButton");
    m_ok->setDefault(true);
    m_cancel = new QPushButton(WindowText("Cancel", language), this);
    m_cancel->setObjectName("cancelButton");
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(buttons);
    resize(249, 141);
}

void CancelDialog::SetChoice(int choice) {
    m_choice->setExclusive(false);
    for (QAbstractButton* button : m_choice->buttons()) button->setChecked(m_choice->id(button) == choice);
    m_choice->setExclusive(true);
}

int CancelDialog::Choice() const { return m_choice->checkedId(); }

}  // namespace vidorra
