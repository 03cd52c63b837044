// Video decoder adapters: one per player, chosen by the recording family,
// each driving one outside decoder component. An adapter turns a frame
// record holding one coded video frame into a described YUV 4:2:0 picture
// and keeps the frame's time data in step with the pictures.
//
// Threading: DecodeVideoVOP and ResetTimeQueue run on the engine's video
// thread. The setting operations come from caller threads through the
// library interface, which serialises them with the library-wide lock; the
// engine must not run them while DecodeVideoVOP is running.
#pragma once

#include <cstdint>
#include <deque>

#include "player/decoding/decode_frame.h"

namespace qor {

struct PlayerFileInfo;
struct DecoderComponents;

class CVideoDecoder {
public:
    explicit CVideoDecoder(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents);
    virtual ~CVideoDecoder();
    CVideoDecoder(const CVideoDecoder&) = delete;
    CVideoDecoder& operator=(const CVideoDecoder&) = delete;

    // Creates the outside decoder; false when it cannot be made.
    virtual bool Initialize() = 0;
    virtual bool DecodeVideoVOP(DecodeFrame* pFrame) = 0;
    virtual bool IsHardwareDecoder() const { return false; }
    // A component that hands out each picture in the call that takes its
    // frame has no delay to count.
    virtual void ResetTimeQueue() { ClearTimeQueue(0); }
    // Components without these settings refuse or ignore them.
    virtual bool SetVideoQuality(int /*iQuality*/) { return false; }
    virtual void SetBrightness(int /*iValue*/) {}
    virtual void SetContrast(int /*iValue*/) {}
    virtual void SetSaturation(int /*iValue*/) {}
    // The hardware decoder card path. The software adapters keep the pictures
    // on the computer's screen and have no card, so they give fixed answers;
    // the library interface forwards the output and DSP calls here.
    virtual bool EnableVideoPCOutput(bool /*bEnable*/) { return true; }
    virtual bool EnableAudioPCOutput(bool /*bEnable*/) { return false; }
    virtual bool EnableVideoTVAnalogOutput(bool /*bEnable*/) { return false; }
    virtual bool IsVideoPCOutputOn() const { return true; }
    virtual bool EnableAudioTVAnalogOutput(bool /*bEnable*/) { return false; }
    virtual bool IsAudioTVAnalogOutputOn() const { return false; }
    virtual bool DspTest(int /*iTest*/) { return false; }
    virtual void ResetHardwareAudio() {}
    virtual void SetHardwareAudioVolume(int /*iVolume*/) {}
    virtual bool WriteHardwareAudio(const uint8_t* /*pData*/, int /*iLength*/) { return false; }
    virtual bool IsSoftwareDecoder() const { return true; }
    virtual bool RefreshQualityAndPostFilter() { return true; }
    virtual bool SetPostFilterLevel(int /*iLevel*/) { return false; }
    // Picks the output mode for the current display area.
    virtual bool ChooseOutputMode() { return true; }
    // The display changed (mode or monitor); nothing to redo in software.
    virtual void OnDisplayChanged() {}

    // The area the pictures are shown in and the full screen's size; the
    // automatic quality, post filter and output mode depend on them. 0 x 0
    // while not known.
    void SetDisplayArea(int iWidth, int iHeight);
    void SetScreenSize(int iWidth, int iHeight);

    int VideoQuality() const { return m_iVideoQuality; }
    int PostFilterLevel() const { return m_iPostFilterLevel; }
    int AutomaticPostFilter() const { return m_iAutoPostFilter; }
    int EffectivePostFilter() const { return m_iPostFilterLevel > m_iAutoPostFilter ? m_iPostFilterLevel : m_iAutoPostFilter; }
    int DisplayWidth() const { return m_iOutWidth; }
    int DisplayHeight() const { return m_iOutHeight; }

protected:
    // Queues the frame's time data and hands back the data of the frame the
    // current picture came from; sets picture-available.
    void RunTimeQueue(DecodeFrame* pFrame);
    void ClearTimeQueue(int iDelay);
    void PublishFrameRate(int iFrameRate);
    // The picture size the decoder works with, from the file information.
    void TakePictureSize();
    // Refuses descriptions no valid picture of iWidth x iHeight can have.
    static bool IsPlausiblePicture(const PictureDescription& desc, int iWidth, int iHeight);
    static void ClearPicture(DecodeFrame* pFrame);

    PlayerFileInfo* m_pFileInfo;
    const DecoderComponents* m_pComponents;
    PictureDescription m_output;
    int m_iFrameRate = 25;
    int m_iDelay = 0;
    std::deque<FrameTimes> m_timeQueue;

    int m_iWidth = 0;   // picture size the decoder was made for
    int m_iHeight = 0;
    int m_iOutWidth = 0;   // picture size handed on
    int m_iOutHeight = 0;

    int m_iVideoQuality = 0;
    int m_iPostFilterLevel = 0;
    int m_iAutoPostFilter = 0;
    int m_iBrightness = 50;
    int m_iContrast = 50;
    int m_iSaturation = 50;

    int m_iDisplayWidth = 0;
    int m_iDisplayHeight = 0;
    int m_iScreenWidth = 0;
    int m_iScreenHeight = 0;
};

}  // namespace qor
