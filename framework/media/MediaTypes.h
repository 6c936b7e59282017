#pragma once
// Result codes, identifiers and records of the graph layer. The values are the
// ones the Windows media framework publishes, so failure texts read the same on
// every platform.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

using HRESULT = std::int32_t;
using REFERENCE_TIME = std::int64_t; // 100 ns units
using LONG_PTR = std::intptr_t;
using OAFilterState = long;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
// A file that does not exist (the system's "file not found" wrapped as a result code).
constexpr HRESULT HRESULT_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004020A);
constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022A);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227);
constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022E);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x8004022F);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = static_cast<HRESULT>(0x80040256);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = static_cast<HRESULT>(0x00040237);
constexpr HRESULT VFW_E_DUPLICATE_NAME = static_cast<HRESULT>(0x8004028E);

// Graph states (IMediaControl::GetState).
constexpr OAFilterState State_Stopped = 0;
constexpr OAFilterState State_Paused = 1;
constexpr OAFilterState State_Running = 2;
constexpr long INFINITE = -1;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};
    friend bool operator==(const GUID&, const GUID&) = default;
};
using CLSID = GUID;

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces.
// Returns S_OK or E_INVALIDARG (the out value is then zero).
HRESULT CLSIDFromString(const std::string& text, CLSID* out);
std::string StringFromCLSID(const CLSID& id);

constexpr GUID GUID_NULL{};

// Class ids of the filters the factory table knows.
extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_WMAsfReader;     // "ASF Reader"
extern const CLSID CLSID_GplMpeg2Decoder; // "GPLMpeg2Decoder"
extern const CLSID CLSID_SampleGrabber;   // "VideoGrabber"
extern const CLSID CLSID_NullRenderer;
extern const CLSID CLSID_AudioProcessor; // 48 kHz stereo PCM out
extern const CLSID CLSID_Mp3Encoder;     // LAME, 128 kbit/s CBR
extern const CLSID CLSID_WavDest;
extern const CLSID CLSID_FileWriter;
extern const CLSID CLSID_VideoRenderer; // what RenderFile adds for pictures
extern const CLSID CLSID_AudioRenderer; // what RenderFile adds for sound
extern const CLSID CLSID_FileSource;    // what RenderFile adds for the file

// Major types, subtypes and format types of media types.
extern const GUID MEDIATYPE_Video;
extern const GUID MEDIATYPE_Audio;
extern const GUID MEDIATYPE_Stream;
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID MEDIASUBTYPE_RAW; // any decoded picture or PCM that the layer can convert
extern const GUID MEDIASUBTYPE_PCM;
extern const GUID MEDIASUBTYPE_MP3;
extern const GUID MEDIASUBTYPE_WAVE;
extern const GUID FORMAT_VideoInfo;
extern const GUID FORMAT_WaveFormatEx;
extern const GUID TIME_FORMAT_MEDIA_TIME;
extern const GUID TIME_FORMAT_FRAME;

#pragma pack(push, 2)
struct BITMAPINFOHEADER {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
struct RECT {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    std::uint32_t dwBitRate = 0;
    std::uint32_t dwBitErrorRate = 0;
    REFERENCE_TIME AvgTimePerFrame = 0;
    BITMAPINFOHEADER bmiHeader;
};
#pragma pack(pop)

// A media type record. The format block is owned by the record (freed by
// FreeMediaTypeContents); pUnk is an optional extra object.
struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    bool bFixedSizeSamples = true;
    bool bTemporalCompression = false;
    std::uint32_t lSampleSize = 0;
    GUID formattype;
    std::shared_ptr<void> pUnk;
    std::uint32_t cbFormat = 0;
    std::unique_ptr<std::uint8_t[]> pbFormat;

    // Convenience for the layer: picture size, sound rate and channels, 0 when unknown.
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    double framesPerSecond = 0.0;
    int pixelAspectN = 1; // a picture's pixel is N:D wide to high, turned as the picture is shown
    int pixelAspectD = 1;
};

// Bytes per row of a 24-bit picture: rows are padded to a multiple of 4 bytes.
constexpr int Rgb24Stride(int width) {
    return (width * 3 + 3) & ~3;
}

// Seeking capability bits and positioning flags.
constexpr std::uint32_t AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr std::uint32_t AM_SEEKING_CanSeekForwards = 0x2;
constexpr std::uint32_t AM_SEEKING_CanSeekBackwards = 0x4;
constexpr std::uint32_t AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr std::uint32_t AM_SEEKING_CanGetStopPos = 0x10;
constexpr std::uint32_t AM_SEEKING_CanGetDuration = 0x20;
constexpr std::uint32_t AM_SEEKING_NoPositioning = 0x0;
constexpr std::uint32_t AM_SEEKING_AbsolutePositioning = 0x1;
constexpr std::uint32_t AM_SEEKING_RelativePositioning = 0x2;
constexpr std::uint32_t AM_SEEKING_PositioningBitsMask = 0x3;

// Video window style bits that matter to the layer.
constexpr long WS_CHILD = 0x40000000L;
constexpr long WS_CLIPSIBLINGS = 0x04000000L;
constexpr long WS_CLIPCHILDREN = 0x02000000L;

// Graph event codes.
constexpr long EC_COMPLETE = 0x01;
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;
constexpr long EC_REPAINT = 0x05;
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr long EC_ERROR_STILLPLAYING = 0x08;
constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr long EC_SHUTTING_DOWN = 0x0C;
constexpr long EC_CLOCK_CHANGED = 0x0D;
constexpr long EC_PAUSED = 0x0E;
constexpr long EC_STEP_COMPLETE = 0x24;
constexpr long EC_GRAPH_CHANGED = 0x50;

// Milliseconds the layer waits for the GStreamer pipeline to settle after a
// state change or seek before it calls the pipeline stuck.
constexpr int kStateWaitMs = 10000;
