#include "converter/app/window/dialog_parts.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "converter/app/window/window_language.h"

namespace vidorra {

QButtonGroup* AddRadioGroup(QGroupBox* box, std::span<const std::string_view> names, UiLanguage language) {
    auto* group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    for (size_t i = 0; i < names.size(); ++i) {
        auto* radio = new QRadioButton(WindowText(names[i], language), box);
        group->addButton(radio, static_cast<int>(i));
        layout->addWidget(radio);
    }
    layout->addStretch(1);
    return group;
}

DialogButtons MakeOkCancelButtons(QDialog* dialog, UiLanguage language) {
    auto* ok = new QPushButton(WindowText("OK", language), dialog);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    auto* cancel = new QPushButton(WindowText("Cancel", language), dialog);
    cancel->setObjectName("cancelButton");
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return {ok, cancel};
}

}  // namespace vidorra
