#include "converter/app/window/run_window.h"

#include <QApplication>

#include "converter/app/window/main_window.h"
#include "converter/app/window/window_art.h"
#include "converter/app/window/window_language.h"
#include "converter/app/window/window_prompts.h"

namespace vidorra {

int RunConversionWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setWindowIcon(ApplicationIcon());
    DesktopPrompts prompts;
    MainWindow window(SystemUiLanguage(), prompts, LibraryPlayerInterface());
    window.show();
    return application.exec();
}

}  // namespace vidorra
