/* QOR_Player: plays, seeks, inspects and decodes recordings of MPEG-4 digital
 * video recorder cards.
 *
 * Use: take a player number with QORPLAYER_CreatePlayer, configure it (window,
 * callbacks, index behaviour), open a recording as a file (QORPLAYER_FileOpen)
 * or as a stream of bytes you push in (QORPLAYER_StreamOpen and
 * QORPLAYER_StreamWriteToBuf), control playback, query positions, and give
 * the number back with QORPLAYER_ReleasePlayer.
 *
 * Conventions:
 * - Every function that concerns one player takes its number (0..511) first.
 * - Results are 32-bit booleans (1 success, 0 failure) unless a function says
 *   otherwise. Every failure writes one debug line (see QORPLAYER_SetDebugOutput).
 * - "Slot" functions work on the player's settings whether or not a recording
 *   is open; the settings are handed to the engine at the next open. "Engine"
 *   functions need an open file or stream and fail otherwise.
 * - All exported calls are serialised by one library-wide lock. Callbacks run
 *   on the library's own threads, never under that lock, and must not call
 *   back into the library (seeks, close and release wait for those threads).
 *
 * Platform forms:
 * - QorWindow is a native X11 window id (0 for none). The library draws into
 *   it and posts its end-of-file and end-of-index messages to it as X11
 *   ClientMessage events (message_type = the message number you registered,
 *   data.l[0] = player number, data.l[1] = 0).
 * - QorEvent is a file descriptor you created with eventfd(2) (or the write end
 *   of a pipe), or -1 for none. The library writes 1 to it when the event is
 *   signalled, so you can wait for it with poll(2) in any main loop.
 * - Paths are UTF-8 (8-bit text), with '/' separators.
 *
 * Building against the installed library: `pkg-config --cflags --libs qor_player`,
 * or in CMake `find_package(QOR_Player)` and link `QOR::Player`. The decoder
 * components the library loads are installed beside it. */
#ifndef QOR_PLAYER_H
#define QOR_PLAYER_H

#include <stdint.h>

#include "qor_player_records.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QOR_PLAYER_BUILDING)
#define QORPLAYER_API __attribute__((visibility("default")))
#else
#define QORPLAYER_API
#endif

typedef uint64_t QorWindow; /* native X11 window id, 0 = none */
typedef int32_t QorEvent;   /* eventfd or pipe write end, -1 = none */

typedef struct QorRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} QorRect;

/* QORPLAYER_GetFileInfo's record: nine 32-bit words.
 * [0] audio samples per second over all channels (0 without audio)
 * [1] audio channel count (0 without audio)
 * [2..5] parser facts (word 3 starts as the frame rate, word 4 is 2, word 5 is 0)
 * [6] picture width, 528 reported as 704
 * [7] picture height
 * [8] secondary time value of the last picture shown */
typedef struct FileInfo {
    int32_t iWord[9];
} FileInfo;

/* Supplies the recording's bytes instead of a file: copy up to iCount bytes
 * from uPosition into pBuffer and return how many were delivered (0 = failure).
 * iReserved is always 0. */
typedef int32_t (*ReadFileCallBack)(uint8_t* pBuffer, int32_t iCount, uint32_t uPosition, int32_t iReserved,
                                    uint32_t uUserValue);

/* Receives every debug line the library writes (each ends in "\n"); called on
 * whichever thread wrote the line. Without one, lines go to standard error. */
typedef void (*DebugOutputCallBack)(const char* pLine, void* pUser);

/* ---- Life cycle ---- */

/* Returns the lowest free player number, or -1 (no free slot, or the decoder
 * component failed its version check). Both arguments are ignored. */
QORPLAYER_API int32_t QORPLAYER_CreatePlayer(int32_t iReserved1, int32_t iReserved2);
/* Slot. Closes any open recording (waiting for its threads) and frees the number.
 * Display mode, data-driven and remote-file-play flags, the whole-block flag,
 * card parameters and the create-index-file switch survive for the next user. */
QORPLAYER_API void QORPLAYER_ReleasePlayer(uint32_t uPlayerId);
/* Engine. Resets the video decoder and queues and stops the sound; 1. */
QORPLAYER_API int32_t QORPLAYER_ResetPlayer(uint32_t uPlayerId);
/* Engine. Returns 2; 0 on an invalid player. */
QORPLAYER_API int32_t QORPLAYER_GetSdkVersion(uint32_t uPlayerId);
/* Always 0 (QORPLAYER_FileCheckIndex is the same function). */
QORPLAYER_API int32_t QORPLAYER_GetLastError(uint32_t uValue);
QORPLAYER_API int32_t QORPLAYER_FileCheckIndex(uint32_t uValue);
/* Installs a receiver for the library's debug lines (null restores standard
 * error). */
QORPLAYER_API void QORPLAYER_SetDebugOutput(DebugOutputCallBack fpCallBack, void* pUser);

/* ---- File playback ---- */

/* Opens a recording in file mode (playback starts with QORPLAYER_Play). With
 * bFollowGrowingFile a short read waits for more data instead of ending
 * playback. With a read-file callback registered, pFileName is ignored. 1 or 0. */
QORPLAYER_API int32_t QORPLAYER_FileOpen(uint32_t uPlayerId, const char* pFileName, int32_t bFollowGrowingFile);
/* Slot. Closes the open recording (waiting for its threads); 1. */
QORPLAYER_API int32_t QORPLAYER_FileClose(uint32_t uPlayerId);
/* Engine. Starts or resumes playback (after steps or seeks, from the picture shown). */
QORPLAYER_API int32_t QORPLAYER_Play(uint32_t uPlayerId);
/* Engine. Pauses; refused in stream mode unless remote file play is on. */
QORPLAYER_API int32_t QORPLAYER_Pause(uint32_t uPlayerId);
/* Engine. Stops; refused in stream mode. */
QORPLAYER_API int32_t QORPLAYER_Stop(uint32_t uPlayerId);
/* Engine. 0.0 <= fSpeed <= 16.0, file mode or remote file play; else 0. */
QORPLAYER_API int32_t QORPLAYER_SetPlaySpeed(uint32_t uPlayerId, float fSpeed);
/* Engine. Shows the next (bForward) or previous picture. A stream steps only
 * forward and only with remote file play; its next picture comes from what
 * has been written and not yet shown (0 when nothing is left). */
QORPLAYER_API int32_t QORPLAYER_FileStepPlay(uint32_t uPlayerId, int32_t bForward);
/* Engine. Plays backwards from the current picture (file mode). */
QORPLAYER_API void QORPLAYER_FileBackPlay(uint32_t uPlayerId);
/* Engine, file mode. fPercent in 0.0..1.0; a value above 1.0 is read as a
 * percentage and switches QORPLAYER_FileGetPosition to percentages. */
QORPLAYER_API int32_t QORPLAYER_FileSetPosition(uint32_t uPlayerId, float fPercent);
/* Engine, file mode. Seeks to iPlayTime ms from the start. */
QORPLAYER_API int32_t QORPLAYER_FileSetPlayTime(uint32_t uPlayerId, int32_t iPlayTime);
/* Engine, file mode. Seeks to a frame number. */
QORPLAYER_API int32_t QORPLAYER_FileSetPlayFrame(uint32_t uPlayerId, int32_t iFrame);
/* Engine. Played over total time (x100 once percentages are on); 0.0 on failure. */
QORPLAYER_API float QORPLAYER_FileGetPosition(uint32_t uPlayerId);
/* Engine. Total time in ms (0 in stream mode). */
QORPLAYER_API int32_t QORPLAYER_FileGetTotalTime(uint32_t uPlayerId);
/* Engine. Played time in ms. */
QORPLAYER_API int32_t QORPLAYER_FileGetPlayedTime(uint32_t uPlayerId);
/* Engine. Total time / frame interval (0 in stream mode). */
QORPLAYER_API int32_t QORPLAYER_FileGetTotalFrame(uint32_t uPlayerId);
/* Engine. Played time in frames, rounded to the nearest. */
QORPLAYER_API int32_t QORPLAYER_FileGetPlayedFrame(uint32_t uPlayerId);
/* Engine. File position of the key frame at or before the current picture
 * (0 when none); 1 when one was found, else 0. */
QORPLAYER_API int32_t QORPLAYER_GetKeyFramePos(uint32_t uPlayerId, uint32_t* pFilePos);
/* Engine. File position of the key frame after that one (0 when none); 1 or 0 likewise. */
QORPLAYER_API int32_t QORPLAYER_GetNextKeyFramePos(uint32_t uPlayerId, uint32_t* pFilePos);
/* Engine. Re-reads the end of a growing file so playback can go on. */
QORPLAYER_API int32_t QORPLAYER_FileResetEndOfFile(uint32_t uPlayerId);
/* Slot. Notifies the end of playback (file mode): posts uMessage to hWnd and
 * signals hEvent, once. Refused (0) when both are none. Without an open file the
 * values are kept for the next QORPLAYER_FileOpen and the result is 1; with a
 * stream open the result is 0. */
QORPLAYER_API int32_t QORPLAYER_FileSetEndNotify(uint32_t uPlayerId, QorWindow hWnd, uint32_t uMessage, QorEvent hEvent);
/* Slot. Same for the end of key-frame index creation; sent at once when the
 * index is already finished. Without an open file the values are kept for the
 * next open, but the result is 0. */
QORPLAYER_API int32_t QORPLAYER_FileSetEndIndexNotify(uint32_t uPlayerId, QorWindow hWnd, uint32_t uMessage,
                                                      QorEvent hEvent);
/* Slot, before QORPLAYER_FileOpen: do not build the key-frame index (seeks then scan). */
QORPLAYER_API int32_t QORPLAYER_DisableCreateIndexTable(uint32_t uPlayerId);
/* Slot, before QORPLAYER_FileOpen: do not write the ".index" side file. */
QORPLAYER_API int32_t QORPLAYER_DisableCreateIndexFile(uint32_t uPlayerId);
/* Slot, after QORPLAYER_FileOpen: hands in a ready index (the ".index" record
 * stream: 16-byte entries tagged 0xB7000000, 8-byte header positions tagged 0xB7000001). */
QORPLAYER_API int32_t QORPLAYER_SetFileIndexTable(uint32_t uPlayerId, const uint8_t* pIndexData, int32_t iDataSize);
/* Slot, before an open: the recording's bytes come from fpCallBack. */
QORPLAYER_API int32_t QORPLAYER_RegisterReadFileCallBack(uint32_t uPlayerId, ReadFileCallBack fpCallBack,
                                                        uint32_t uUserValue, int32_t iReserved, uint32_t uTotalSize);

/* ---- Stream playback ---- */

/* Opens a stream: pHeader must hold the recording's 1024-byte file header.
 * Playback starts at once. 1 success, 0 failure, -1 when the decoder
 * component failed its version check. */
QORPLAYER_API int32_t QORPLAYER_StreamOpen(uint32_t uPlayerId, const uint8_t* pHeader, int32_t iLength, int32_t iReserved);
/* Engine. Takes all iLength bytes (returns iLength) or none (returns 0: the
 * 2 MiB buffer would overflow, or iWaitLimit 1 ms waits for room ran out;
 * 0 = wait as long as needed). */
QORPLAYER_API int32_t QORPLAYER_StreamWriteToBuf(uint32_t uPlayerId, const uint8_t* pData, int32_t iLength,
                                                 int32_t iReserved1, int32_t iWaitLimit, int32_t iReserved2);
/* Engine. Pictures queued and not yet taken for decoding. */
QORPLAYER_API int32_t QORPLAYER_StreamGetBufferedFrames(uint32_t uPlayerId);
/* Engine. 2,097,152 minus the bytes held. */
QORPLAYER_API int32_t QORPLAYER_StreamGetFreeBufSize(uint32_t uPlayerId);
/* Engine. Discards what the stream input holds at the next opportunity; 1. */
QORPLAYER_API int32_t QORPLAYER_StreamEmptyBuf(uint32_t uPlayerId);
/* Engine. 1..999 pictures queued before playback speeds up to catch up; 1 when
 * taken, 0 when out of range (nothing changes). */
QORPLAYER_API int32_t QORPLAYER_StreamSetDelayFrames(uint32_t uPlayerId, int32_t iFrames);
/* Engine. 1..999 pictures buffered before display (default 15); 1 when taken,
 * 0 when out of range (nothing changes). */
QORPLAYER_API int32_t QORPLAYER_StreamSetBufferedFrames(uint32_t uPlayerId, int32_t iFrames);
/* Slot. Deliver pictures as fast as they are decoded instead of in real time. */
QORPLAYER_API void QORPLAYER_StreamEnableDataDriven(uint32_t uPlayerId, int32_t bEnable);
QORPLAYER_API void QORPLAYER_EnableDataDriven(uint32_t uPlayerId, int32_t bEnable);
/* Slot. Lets a stream be paused, stepped and played at other speeds like a file. */
QORPLAYER_API void QORPLAYER_StreamEnableRemoteFilePlay(uint32_t uPlayerId, int32_t bEnable);
/* Engine. Audio is never dropped for lagging behind the pictures; 1. */
QORPLAYER_API int32_t QORPLAYER_DisableSynchronize(uint32_t uPlayerId);
/* Engine. Frame-dropping setting of the synchroniser; 1. */
QORPLAYER_API int32_t QORPLAYER_ThrownFrames(uint32_t uPlayerId, int32_t iValue);

/* ---- Callbacks (run on the library's threads; data valid only during the call) ---- */

/* Slot. Every decoded picture goes to fpCallBack instead of the window. Returns 1
 * with an open recording, 0 without (the callback is still installed at the next open). */
QORPLAYER_API int32_t QORPLAYER_RegisterVideoDecodeCallBack(uint32_t uPlayerId, VideoDecodeCallBack fpCallBack,
                                                           uint32_t uUserValue);
/* Engine. Removes it from the open recording (the slot keeps it). */
QORPLAYER_API int32_t QORPLAYER_UnRegisterVideoDecodeCallBack(uint32_t uPlayerId, int32_t iReserved);
/* Slot. Every decoded PCM block goes to fpCallBack instead of the sound device;
 * blocks run at most iLeadTimeMs ahead of the pictures (same results as above). */
QORPLAYER_API int32_t QORPLAYER_RegisterAudioDecodeCallBack(uint32_t uPlayerId, AudioDecodeCallBack fpCallBack,
                                                           int32_t iLeadTimeMs, uint32_t uUserValue);
/* Engine. Removes it and restores the 200 ms lead time. */
QORPLAYER_API int32_t QORPLAYER_UnRegisterAudioDecodeCallBack(uint32_t uPlayerId, int32_t iReserved);
/* Slot. Picture callback; with bWholeBlock planar pictures arrive as one I420 block. */
QORPLAYER_API int32_t QORPLAYER_RegisterDecCallBack(uint32_t uPlayerId, DecCallBack fpCallBack, int32_t iReserved,
                                                   uint32_t uUserValue, int32_t bWholeBlock);
/* Engine. Removes the picture callback. */
QORPLAYER_API int32_t QORPLAYER_UnRegisterDecCallBack(uint32_t uPlayerId, int32_t iReserved);

/* ---- Display, sound and information ---- */

/* Slot. Window and destination rectangle (pRect may be null: the whole window). */
QORPLAYER_API int32_t QORPLAYER_SetVideoWindow(uint32_t uPlayerId, QorWindow hWnd, const QorRect* pRect);
QORPLAYER_API int32_t QORPLAYER_SetVideoWindowForStream(uint32_t uPlayerId, QorWindow hWnd, const QorRect* pRect);
/* Slot. Display mode 0, 1 or 2. */
QORPLAYER_API int32_t QORPLAYER_SetDisplayMode(uint32_t uPlayerId, int32_t iMode);
/* Always 0. */
QORPLAYER_API int32_t QORPLAYER_FullScreen(uint32_t uPlayerId, int32_t bEnable);
/* Engine. Shows only pRect of the picture (players with a window); 0 otherwise. */
QORPLAYER_API int32_t QORPLAYER_ZoomInSrcRect(uint32_t uPlayerId, const QorRect* pRect);
QORPLAYER_API int32_t QORPLAYER_ZoomInSrcRectEx(uint32_t uPlayerId, const QorRect* pRect);
/* Engine. Redraws the current picture. */
QORPLAYER_API int32_t QORPLAYER_RefreshWindow(uint32_t uPlayerId);
/* Engine. 0..100, 50 = unchanged. */
QORPLAYER_API void QORPLAYER_SetBrightness(uint32_t uPlayerId, int32_t iValue);
QORPLAYER_API void QORPLAYER_SetContrast(uint32_t uPlayerId, int32_t iValue);
QORPLAYER_API void QORPLAYER_SetSaturation(uint32_t uPlayerId, int32_t iValue);
/* Engine. Decoder post filter 0 (automatic), 1 or 2. */
QORPLAYER_API int32_t QORPLAYER_SetPostFilter(uint32_t uPlayerId, int32_t iLevel);
/* Engine. Picture size (a coded width of 528 is reported as 704). */
QORPLAYER_API int32_t QORPLAYER_GetPictureSize(uint32_t uPlayerId, int32_t* pWidth, int32_t* pHeight);
QORPLAYER_API void QORPLAYER_GetWHInfo(uint32_t uPlayerId, int32_t iReserved, int32_t* pWidth, int32_t* pHeight);
/* Engine. Size in bytes of a 24-bit bitmap of the picture. */
QORPLAYER_API int32_t QORPLAYER_GetBmpFileSize(uint32_t uPlayerId);
/* Engine. Saves the current picture as a 24-bit bitmap file. Needs a player
 * drawing into a window (QORPLAYER_SetVideoWindow before the open). */
QORPLAYER_API int32_t QORPLAYER_CaptureBitmap(uint32_t uPlayerId, const char* pFileName, int32_t iValue);
/* Engine. Sound on or off. */
QORPLAYER_API void QORPLAYER_EnableAudio(uint32_t uPlayerId, int32_t bEnable);
/* Engine. 0 (silent) .. 10000 (full level); only a player with a window plays sound. */
QORPLAYER_API void QORPLAYER_SetVolume(uint32_t uPlayerId, int32_t iVolume);
/* Engine. Device attenuation -10000..0 in hundredths of a dB; 0 without sound; -1 invalid player. */
QORPLAYER_API int32_t QORPLAYER_GetVolume(uint32_t uPlayerId);
/* Engine. The decoded PCM format; 0 without audio. */
QORPLAYER_API int32_t QORPLAYER_GetAudioWaveOutInfo(uint32_t uPlayerId, QorWaveFormat* pWaveFormat);
/* Engine. 0 video and audio, 1 video, 2 audio, 4 unknown. */
QORPLAYER_API int32_t QORPLAYER_GetMediaStreamType(uint32_t uPlayerId);
/* Facts about the open recording; all zero on an invalid player. */
QORPLAYER_API FileInfo QORPLAYER_GetFileInfo(uint32_t uPlayerId);
/* Slot. Type 1 selects the hardware decoder card (not supported by any family here). */
QORPLAYER_API int32_t QORPLAYER_SetVideoDecoderType(uint32_t uPlayerId, int32_t iType, int32_t iParam1, int32_t iParam2);
QORPLAYER_API int32_t QORPLAYER_SetAudioDecoderType(uint32_t uPlayerId, int32_t iType, int32_t iReserved1,
                                                   int32_t iReserved2);
/* Slot. Video output to the window on or off. */
QORPLAYER_API int32_t QORPLAYER_EnableVideoPCOutput(uint32_t uPlayerId, int32_t bEnable);
/* Engine. Hardware decoder card outputs; 0 here. */
QORPLAYER_API int32_t QORPLAYER_EnableAudioPCOutput(uint32_t uPlayerId, int32_t bEnable);
QORPLAYER_API int32_t QORPLAYER_EnableVideoTVAnalogOutput(uint32_t uPlayerId, int32_t bEnable);
QORPLAYER_API int32_t QORPLAYER_EnableAudioTVAnalogOutput(uint32_t uPlayerId, int32_t bEnable);
QORPLAYER_API int32_t QORPLAYER_DspTest(uint32_t uPlayerId, int32_t iValue);
/* Counts installed hardware decoder cards into *pCount (set it to 0 first); also the result. */
QORPLAYER_API int32_t QORPLAYER_GetTotalDecoderDeviceCount(int32_t iReserved, int32_t* pCount);

/* ---- Kept for compatibility; constant results ---- */
QORPLAYER_API int32_t QORPLAYER_FileCreateIndex(uint32_t uPlayerId, int32_t a, int32_t b, int32_t c);       /* 0 */
QORPLAYER_API int32_t QORPLAYER_GetVideoAdapterCaps(int32_t a);                                              /* -1 */
QORPLAYER_API int32_t QORPLAYER_FilePlayKeyFrame(int32_t a, int32_t b, int32_t c);                          /* 0 */
QORPLAYER_API int32_t QORPLAYER_GetDecoderChannelInfo(int32_t a, int32_t b, int32_t c);                     /* 0 */
QORPLAYER_API int32_t QORPLAYER_FileFixIndex(int32_t a, int32_t b);                                         /* 0 */
QORPLAYER_API int32_t QORPLAYER_StreamSetBuf(int32_t a, int32_t b);                                         /* 0 */
QORPLAYER_API int32_t QORPLAYER_FileBeginIndex(int32_t a, int32_t b, int32_t c, int32_t d);                 /* 0 */
QORPLAYER_API int32_t QORPLAYER_ReadDecoderUserInfo(int32_t a, int32_t b, int32_t c, int32_t d);            /* 0 */
QORPLAYER_API int32_t QORPLAYER_SetErrorNotify(int32_t a, int32_t b, int32_t c, int32_t d);                 /* 0 */
QORPLAYER_API int32_t QORPLAYER_WriteDecoderUserInfo(int32_t a, int32_t b, int32_t c, int32_t d);           /* 0 */
QORPLAYER_API void QORPLAYER_Mute(int32_t a, int32_t b);                                                    /* nothing */
QORPLAYER_API void QORPLAYER_CetBlackScreen(int32_t a);                                                     /* nothing */

#ifdef __cplusplus
}
#endif

#endif /* QOR_PLAYER_H */
