#include "platform/notification.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qor {
namespace {

TEST(Notification, EventFdCountsEachSignalAsOne) {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(SignalEventFd(fd));
    EXPECT_TRUE(SignalEventFd(fd));
    uint64_t value = 0;
    ASSERT_EQ(read(fd, &value, sizeof value), ssize_t(sizeof value));
    EXPECT_EQ(value, 2u);
    close(fd);
}

TEST(Notification, PipeWriteEndReceivesAnEightByteOne) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    EXPECT_TRUE(SignalEventFd(ends[1]));
    uint64_t value = 0;
    ASSERT_EQ(read(ends[0], &value, sizeof value), ssize_t(sizeof value));
    EXPECT_EQ(value, 1u);
    close(ends[0]);
    close(ends[1]);
}

TEST(Notification, NoEventOrAClosedOneReportsFailure) {
    EXPECT_FALSE(SignalEventFd(-1));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    close(ends[1]);
    EXPECT_FALSE(SignalEventFd(ends[1]));
}

TEST(Notification, WindowMessageWithoutWindowOrDisplayFailsQuietly) {
    EXPECT_FALSE(PostWindowMessage(0, 0x400, 1, 0));
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    EXPECT_FALSE(PostWindowMessage(0x1234, 0x400, 1, 0));
    if (display != nullptr) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
}  // namespace qor
