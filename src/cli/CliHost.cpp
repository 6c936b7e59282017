#include "CliHost.h"
#include "JobReport.h"

#include <cstdio>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>

#include "CliLanguage.h"
#include "MediaSession.h"

namespace zem::cli {

namespace {
constexpr int kBarWidth = 30;
}

CliHost::CliHost() : m_terminal(::isatty(STDERR_FILENO) != 0) {}

bool CliHost::event(QEvent* e) {
    if (e->type() == static_cast<QEvent::Type>(WM_GRAPH_EVENT)) {
        if (onGraphEvent)
            onGraphEvent();
        return true;
    }
    return QObject::event(e);
}

void CliHost::ShowMessage(const UserText& text, const UserText& cause) {
    EndJob();
    // With a cause, the text leads a box in the window; here the cause,
    // which says why in words, is the message.
    std::string line = cause.empty() ? Say(text) : Say(cause);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    std::fprintf(stderr, "zemconvert: %s\n", TerminalSafe(line).c_str());
}

void CliHost::OnJobEvent(const JobEvent& event) {
    switch (event.state) {
    case JobState::Converting:
        // The display only ever moves forward within a job.
        if (event.percent <= m_percent && (m_lineOpen || m_lastDecile >= 0))
            return;
        m_percent = event.percent;
        Draw();
        break;
    case JobState::Writing:
        m_writing = true;
        Draw();
        break;
    default:
        m_writing = false;
        break;
    }
}

void CliHost::PumpMessages() {
    QCoreApplication::processEvents();
    if (onPump)
        onPump();
}

void CliHost::BeginJob() {
    m_percent = 0;
    m_lastDecile = -1;
    m_writing = false;
    m_jobStart = std::chrono::steady_clock::now();
}

void CliHost::EndJob() {
    if (m_lineOpen) {
        std::fputc('\n', stderr);
        m_lineOpen = false;
    }
}

void CliHost::Draw() {
    if (!m_terminal || onProgressStep) {
        // Logs and pipes get one plain line per tenth.
        const int decile = m_percent / 10;
        while (m_lastDecile < decile && !m_writing) {
            ++m_lastDecile;
            if (onProgressStep)
                onProgressStep(m_lastDecile * 10);
            else
                std::fprintf(stderr, "%s\n", ProgressLine(m_lastDecile * 10).c_str());
        }
        return;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_jobStart).count();
    char eta[32] = "--:--";
    if (m_percent > 0 && m_percent < 100) {
        const int left = int(elapsed * (100 - m_percent) / m_percent + 0.5);
        std::snprintf(eta, sizeof eta, "%02d:%02d", left / 60, left % 60);
    }
    const int filled = m_percent * kBarWidth / 100;
    std::string bar(size_t(filled), '#');
    bar.append(size_t(kBarWidth - filled), ' ');
    if (m_writing)
        std::fprintf(stderr, "\r[%s] %s        ", std::string(kBarWidth, '#').c_str(), Say(kTextWriting).c_str());
    else
        std::fprintf(stderr, "\r[%s] %3d%%  %s ", bar.c_str(), m_percent,
                     Say(UserText(kTextBarTimeLeft).With("time", eta)).c_str());
    std::fflush(stderr);
    m_lineOpen = true;
}

} // namespace zem::cli
