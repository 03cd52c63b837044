#include "player/engine/av_sync_controller.h"

#include <gtest/gtest.h>

#include "player/container/format.h"

namespace qor {
namespace {

FramePtr Frame(int type, uint32_t time) {
    FramePtr frame = std::make_unique<FrameRecord>();
    frame->iType = type;
    frame->uTime = time;
    return frame;
}

TEST(AVSync, StreamControllerRefusesPictureTwoHundredAndOne) {
    CStreamAVSyncController controller(true);
    for (int i = 0; i < CAVSyncController::kQueueLimit; ++i) {
        FramePtr frame = Frame(kFramePredicted, uint32_t(i));
        ASSERT_TRUE(controller.OfferPicture(frame));
    }
    EXPECT_TRUE(controller.IsFull());
    FramePtr extra = Frame(kFramePredicted, 999);
    EXPECT_FALSE(controller.OfferPicture(extra));
    ASSERT_NE(extra, nullptr) << "a refused frame stays with the caller";
    controller.SetBufferedFrames(0);
    EXPECT_EQ(controller.TakePicture(false)->uTime, 0u);
    EXPECT_TRUE(controller.OfferPicture(extra));
}

TEST(AVSync, StreamControllerDropsOldestAudioBeyondFourHundred) {
    CStreamAVSyncController controller(true);
    for (int i = 0; i < CAVSyncController::kAudioQueueLimit + 5; ++i) {
        FramePtr frame = Frame(kFrameAudio, uint32_t(i));
        ASSERT_TRUE(controller.OfferAudio(frame));
    }
    EXPECT_EQ(controller.AudioCount(), CAVSyncController::kAudioQueueLimit);
    EXPECT_EQ(controller.TakeAudio()->uTime, 5u);
}

TEST(AVSync, FileControllerRefusesAudioWhenFullSoNothingIsLost) {
    CFileAVSyncController controller(true);
    for (int i = 0; i < CAVSyncController::kAudioQueueLimit; ++i) {
        FramePtr frame = Frame(kFrameAudio, uint32_t(i));
        ASSERT_TRUE(controller.OfferAudio(frame));
    }
    FramePtr extra = Frame(kFrameAudio, 1000);
    EXPECT_FALSE(controller.OfferAudio(extra));
    EXPECT_EQ(controller.TakeAudio()->uTime, 0u);
}

TEST(AVSync, AudioOfferedWithoutAudioIsDiscarded) {
    CStreamAVSyncController controller(false);
    FramePtr frame = Frame(kFrameAudio, 1);
    EXPECT_TRUE(controller.OfferAudio(frame));
    EXPECT_EQ(controller.AudioCount(), 0);
}

TEST(AVSync, StartUpBufferingHoldsPicturesUntilTargetThenLatches) {
    CStreamAVSyncController controller(true);
    controller.SetBufferedFrames(3);
    for (int i = 0; i < 2; ++i) {
        FramePtr frame = Frame(kFramePredicted, uint32_t(i));
        controller.OfferPicture(frame);
    }
    EXPECT_EQ(controller.TakePicture(false), nullptr);
    FramePtr third = Frame(kFramePredicted, 2);
    controller.OfferPicture(third);
    // Once released, the queue is emptied without waiting for the target again.
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(controller.TakePicture(false)->uTime, i);
    EXPECT_EQ(controller.TakePicture(false), nullptr);
    FramePtr late = Frame(kFramePredicted, 3);
    controller.OfferPicture(late);
    EXPECT_EQ(controller.TakePicture(false), nullptr) << "an emptied queue buffers again";
    EXPECT_EQ(controller.TakePicture(true)->uTime, 3u) << "draining hands out what is held";
}

TEST(AVSync, HeaderUnitLeavesOnlyWithAPictureBehindIt) {
    CStreamAVSyncController controller(true);
    controller.SetBufferedFrames(0);
    FramePtr header = Frame(kFrameFileHeader, 0);
    controller.OfferPicture(header);
    EXPECT_EQ(controller.TakePicture(false), nullptr);
    FramePtr key = Frame(kFrameKey, 40);
    controller.OfferPicture(key);
    EXPECT_EQ(controller.TakePicture(false)->iType, kFrameFileHeader);
    EXPECT_EQ(controller.TakePicture(false)->iType, kFrameKey);
}

TEST(AVSync, DriftCorrectionLeavesAndReentersNormalSpeed) {
    CFileAVSyncController controller(true);
    const int interval = 40;
    float speed = 1.0f;
    for (int i = 0; i < CAVSyncController::kDriftLearnPictures; ++i) speed = controller.UpdateDrift(100, interval, speed);
    EXPECT_EQ(speed, 1.0f);
    struct Case { int offset; float from; float expected; };
    const Case cases[] = {
        {100 + 2 * interval, 1.0f, 1.0f},       // at the threshold: stays
        {100 + 2 * interval + 1, 1.0f, 1.2f},   // sound ahead: pictures catch up
        {100 - 2 * interval - 1, 1.0f, 0.8f},   // pictures ahead
        {100 + interval + 1, 1.2f, 1.2f},       // not yet back within one interval
        {100 + interval, 1.2f, 1.0f},
        {100 - interval, 0.8f, 1.0f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(controller.UpdateDrift(c.offset, interval, c.from), c.expected) << "offset " << c.offset;
    }
}

}  // namespace
}  // namespace qor
