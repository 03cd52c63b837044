// Pieces the converter's dialogs share: a group of radio buttons and the
// OK / Cancel pair wired to accept and reject.
#pragma once

#include <span>
#include <string_view>

#include "converter/app/translate_text.h"

class QButtonGroup;
class QDialog;
class QGroupBox;
class QPushButton;

namespace vidorra {

// One radio button per name (translated), ids 0, 1, ... in order, stacked in box.
QButtonGroup* AddRadioGroup(QGroupBox* box, std::span<const std::string_view> names, UiLanguage language);

struct DialogButtons {
    QPushButton* ok;
    QPushButton* cancel;
};

// "OK" (the default button) accepts the dialog, "Cancel" rejects it.
DialogButtons MakeOkCancelButtons(QDialog* dialog, UiLanguage language);

}  // namespace vidorra
