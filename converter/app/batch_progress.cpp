#include "converter/app/batch_progress.h"

#include <cinttypes>

namespace vidorra {

namespace {

// Redrawing more often only costs terminal time; a quarter second reads as live.
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

}  // namespace

std::string FormatProgressLine(int number, int count, int32_t producedFrames, int32_t totalFrames,
                               double elapsedSeconds) {
    char text[160];
    int used = std::snprintf(text, sizeof text, "file %d of %d: ", number, count);
    auto append = [&](const char* format, auto... values) {
        if (used >= 0 && static_cast<size_t>(used) < sizeof text) {
            used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), format, values...);
        }
    };
    if (totalFrames > 0) {
        const int64_t percent = static_cast<int64_t>(producedFrames) * 100 / totalFrames;
        append("%" PRId64 "%% (%" PRId32 "/%" PRId32 " frames)", percent, producedFrames, totalFrames);
    } else {
        append("%" PRId32 " frames", producedFrames);
    }
    if (elapsedSeconds > 0.0) {
        const double fps = producedFrames / elapsedSeconds;
        append(", %.0f fps", fps);
        if (totalFrames > 0 && fps > 0.0 && producedFrames < totalFrames) {
            const auto left = static_cast<int64_t>((totalFrames - producedFrames) / fps + 0.5);
            append(", %" PRId64 ":%02" PRId64 " left", left / 60, left % 60);
        }
    }
    return text;
}

void BatchProgress::Begin(int number, int count) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_number = number;
    m_count = count;
    m_start = std::chrono::steady_clock::now();
    m_lastDraw = m_start - kRedrawInterval;
    if (m_enabled) DrawLocked(FormatProgressLine(number, count, 0, 0, 0.0));
}

void BatchProgress::Update(int32_t producedFrames, int32_t totalFrames) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = now;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    DrawLocked(FormatProgressLine(m_number, m_count, producedFrames, totalFrames, elapsed));
}

void BatchProgress::End() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_enabled || m_shown.empty()) return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_shown.clear();
}

void BatchProgress::WriteLine(std::string_view line) {
    std::lock_guard<std::mutex> lock(m_lock);
    const std::string shown = m_shown;
    if (m_enabled) ClearLocked();
    std::fwrite(line.data(), 1, line.size(), m_out);
    if (m_enabled && !shown.empty()) DrawLocked(shown);
    std::fflush(m_out);
}

void BatchProgress::DrawLocked(const std::string& text) {
    std::string line = "\r" + text;
    // Blank out what a longer previous line left behind.
    if (text.size() < m_shown.size()) line.append(m_shown.size() - text.size(), ' ');
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
    m_shown = text;
}

void BatchProgress::ClearLocked() {
    if (m_shown.empty()) return;
    std::fputc('\r', m_out);
    std::fputs(std::string(m_shown.size(), ' ').c_str(), m_out);
    std::fputc('\r', m_out);
    m_shown.clear();
}

}  // namespace vidorra
