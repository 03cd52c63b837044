#include "platform/console_bell.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace qor {

void ConsoleBeep(int iFrequency, int iMilliseconds) {
    if (iFrequency <= 0 || iMilliseconds <= 0) return;
    bool toned = false;
    const int console = open("/dev/console", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (console >= 0) {
        // The tone length is in the high word, the timer divisor in the low word.
        constexpr int kTimerClock = 1193180;
        const unsigned long tone = (static_cast<unsigned long>(iMilliseconds) << 16) |
                                   static_cast<unsigned long>(kTimerClock / iFrequency);
        toned = ioctl(console, KDMKTONE, tone) == 0;
        close(console);
    }
    // Without the console speaker, a terminal bell is the best we can do.
    if (!toned && isatty(STDERR_FILENO)) {
        const ssize_t ignored = write(STDERR_FILENO, "\a", 1);
        (void)ignored;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(iMilliseconds));
}

}  // namespace qor
