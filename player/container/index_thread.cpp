// The index thread: loads the side file or builds the key-frame index, then
// sends the index-complete notification.
#include <system_error>

#include "player/container/mpeg_parser.h"

namespace qor {

bool CMpegParser::StartIndexThread() {
    if (m_indexThread.joinable() || m_pFileInfo == nullptr) return false;
    m_bStop = false;
    m_bIndexFinished = false;
    try {
        m_indexThread = std::thread(&CMpegParser::IndexThreadBody, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CMpegParser::StopIndexThread() {
    m_bStop = true;
    // Joined however long it takes: the scans poll the stop flag between
    // reads, and no thread may outlive the parser it reads through.
    if (m_indexThread.joinable()) m_indexThread.join();
}

void CMpegParser::IndexThreadBody() {
    bool ok = GetIndexFromIndexFile();
    if (ok) {
        m_pFileInfo->bIndexReady = true;
    } else {
        ok = m_pFileInfo->bHasBackLinks && !StopRequested() && CreateMpegFileIndexTableWithEx();
        if (!ok && !StopRequested()) ok = CreateMpegFileIndexTable();
    }
    NotifyIndexFinished(ok);
}

void CMpegParser::NotifyIndexFinished(bool bSuccess) {
    IndexNotification toSend;
    {
        std::lock_guard<std::mutex> lock(m_notificationLock);
        m_bIndexFinished = true;
        if (!bSuccess || !m_bNotificationPending) return;
        m_bNotificationPending = false;
        toSend = m_notification;
    }
    if (toSend.deliver) toSend.deliver(toSend);
}

void CMpegParser::SetIndexNotification(const IndexNotification& notification) {
    {
        std::lock_guard<std::mutex> lock(m_notificationLock);
        m_notification = notification;
        m_bNotificationPending = !m_bIndexFinished;
        if (m_bNotificationPending) return;
    }
    if (notification.deliver) notification.deliver(notification);
}

}  // namespace qor
