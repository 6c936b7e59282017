#include "GraphState.h"

#include "dshowutil.h"

int g_playState = kPlayStopped;
int g_muted = 0;

namespace {
constexpr long kVolumeSilent = -10000;
constexpr long kVolumeFull = 0;
} // namespace

void RunGraph(IMediaControl* pMC) {
    if (!pMC)
        return;
    const HRESULT hr = pMC->Run();
    if (FAILED(hr)) {
        ReportFailure("\r\n*** Failed(%08lx) in Run()!\r\n",
                      static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
        return;
    }
    g_playState = kPlayRunning;
}

void StopGraph(IMediaControl* pMC) {
    if (!pMC || g_playState == kPlayStopped)
        return;
    const HRESULT hr = pMC->Stop();
    if (FAILED(hr)) {
        ReportFailure("\r\n*** Failed(%08lx) in Stop()!\r\n",
                      static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
        return;
    }
    g_playState = kPlayStopped;
}

void PauseGraph(IMediaControl* pMC) {
    if (!pMC || g_playState != kPlayRunning)
        return;
    const HRESULT hr = pMC->Pause();
    if (FAILED(hr)) {
        ReportFailure("\r\n*** Failed(%08lx) in Pause()!\r\n",
                      static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
        return;
    }
    g_playState = kPlayPaused;
}

void SetMute(IGraphBuilder* pGB, bool muted) {
    if (!pGB)
        return;
    auto* pBA = dynamic_cast<IBasicAudio*>(pGB);
    if (!pBA)
        return;
    long volume = 0;
    HRESULT hr = pBA->get_Volume(&volume);
    if (hr == E_NOTIMPL)
        return; // no sound path
    if (FAILED(hr)) {
        ReportFailure("Failed in pBA->get_Volume!  hr=0x%x\r\n", static_cast<unsigned>(hr));
        return;
    }
    hr = pBA->put_Volume(muted ? kVolumeSilent : kVolumeFull);
    if (FAILED(hr))
        ReportFailure("Failed in pBA->put_Volume!  hr=0x%x\r\n", static_cast<unsigned>(hr));
}
