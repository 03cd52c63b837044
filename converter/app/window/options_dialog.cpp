#include "converter/app/window/options_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/app/window/dialog_parts.h"
#include "converter/app/window/window_language.h"
#include "converter/job/conversion_settings.h"

namespace vidorra {

namespace {

void Check(QButtonGroup* group, int id) {
    // "Nothing selected" needs exclusivity off for a moment.
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) button->setChecked(group->id(button) == id);
    group->setExclusive(true);
}

}  // namespace

OptionsDialog::OptionsDialog(UiLanguage language, QWidget* parent) : QDialog(parent) {
    setWindowTitle(WindowText("Options", language));
    std::string_view qualityNames[kQualityLevelCount];
    for (int i = 0; i < kQualityLevelCount; ++i) qualityNames[i] = kQualityTable[i].name;

    auto* qualityBox = new QGroupBox(WindowText("Video Quality", language), this);
    qualityBox->setObjectName("qualityGroup");
    m_quality = AddRadioGroup(qualityBox, qualityNames, language);
    auto* filterBox = new QGroupBox(WindowText("Video Filter", language), this);
    filterBox->setObjectName("filterGroup");
    m_filter = AddRadioGroup(filterBox, kFilterNames, language);

    const DialogButtons buttons = MakeOkCancelButtons(this, language);
    m_ok = buttons.ok;
    m_cancel = buttons.cancel;

    auto* right = new QVBoxLayout;
    right->addWidget(filterBox);
    right->addStretch(1);
    right->addWidget(m_ok);
    right->addWidget(m_cancel);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(qualityBox);
    layout->addLayout(right);
    resize(255, 281);
}

void OptionsDialog::SetChoices(int quality, int filter) {
    Check(m_quality, quality);
    Check(m_filter, filter);
}

int OptionsDialog::Quality() const { return m_quality->checkedId(); }
int OptionsDialog::Filter() const { return m_filter->checkedId(); }

}  // namespace vidorra
