#include "converter/app/window/run_window.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "converter/app/batch_conversion.h"
#include "converter/app/window/main_window.h"
#include "converter/app/window/window_art.h"
#include "converter/app/window/window_language.h"
#include "converter/app/window/window_prompts.h"

namespace vidorra {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

int RunConversionWindow(int argc, char** argv) {
    // Without any display Qt aborts the process; say what is wrong instead.
    if (!Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
        std::fputs("Vidorra: no display for the conversion window; convert with :i or :f (see Vidorra --help).\n",
                   stderr);
        return kExitNothingUsable;
    }
    QApplication application(argc, argv);
    application.setWindowIcon(ApplicationIcon());
    DesktopPrompts prompts;
    MainWindow window(SystemUiLanguage(), prompts, LibraryPlayerInterface());
    window.show();
    return application.exec();
}

}  // namespace vidorra
