#include "converter/app/window/cancel_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/app/window/dialog_parts.h"
#include "converter/app/window/window_language.h"

namespace vidorra {

CancelDialog::CancelDialog(UiLanguage language, QWidget* parent) : QDialog(parent) {
    setWindowTitle(WindowText("Cancel", language));
    auto* box = new QGroupBox(this);
    const std::string_view names[] = {"Cancel current file", "Cancel all files"};
    m_choice = AddRadioGroup(box, names, language);
    const DialogButtons dialogButtons = MakeOkCancelButtons(this, language);
    m_ok = dialogButtons.ok;
    m_cancel = dialogButtons.cancel;

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
