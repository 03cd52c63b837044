// Vidorra's entry: the batch when the command line names a source or a list
// file, otherwise the window.
#include <unistd.h>

#include <cstdio>

#include "converter/app/batch_conversion.h"
#include "converter/app/batch_progress.h"
#include "converter/app/command_line.h"
#include "converter/app/window/run_window.h"
#include "converter/job/conversion_job.h"
#include "platform/debug_output.h"
#include "player/api/qor_player.h"

namespace {

// The player library keeps its own debug channel; its lines join ours.
void LibraryLineToProgress(const char* pLine, void* pUser) {
    static_cast<vidorra::BatchProgress*>(pUser)->WriteLine(pLine);
}

int RunBatchWithProgress(const vidorra::CommandLine& commandLine) {
    // Progress is for a person watching; logs and pipes get the debug lines only.
    vidorra::BatchProgress progress(stderr, ::isatty(STDERR_FILENO) == 1);
    const qor::DebugSink previous =
        qor::SetDebugSink([&progress](std::string_view line) { progress.WriteLine(line); });
    QORPLAYER_SetDebugOutput(LibraryLineToProgress, &progress);
    const int count = vidorra::CountNamedConversions(commandLine);
    int number = 0;
    const auto convert = [&](const std::string& source, const std::string& target,
                             const vidorra::ConversionSettings& settings) {
        progress.Begin(++number, count);
        const bool converted = vidorra::ConvertRecording(
            source, target, settings, [&progress](int32_t produced, int32_t total) { progress.Update(produced, total); });
        progress.End();
        return converted;
    };
    const vidorra::BatchTally tally = vidorra::RunBatch(commandLine, convert);
    QORPLAYER_SetDebugOutput(nullptr, nullptr);
    qor::SetDebugSink(previous);
    return vidorra::ExitStatusFor(tally);
}

}  // namespace

int main(int argc, char** argv) {
    const vidorra::CommandLine commandLine = vidorra::ParseCommandLine(argc, argv);
    switch (vidorra::DecideStart(commandLine)) {
        case vidorra::StartMode::Help:
            std::fputs(vidorra::UsageText().c_str(), stdout);
            return vidorra::kExitAllSucceeded;
        case vidorra::StartMode::Version:
            std::printf("%.*s\n", static_cast<int>(vidorra::kVidorraVersionLine.size()),
                        vidorra::kVidorraVersionLine.data());
            return vidorra::kExitAllSucceeded;
        case vidorra::StartMode::NothingUsable:
            std::fputs("Vidorra: nothing to convert: name a source with :i or a list file with :f.\n\n", stderr);
            std::fputs(vidorra::UsageText().c_str(), stderr);
            return vidorra::kExitNothingUsable;
        case vidorra::StartMode::Window:
            return vidorra::RunConversionWindow(argc, argv);
        case vidorra::StartMode::Batch:
            break;
    }
    return RunBatchWithProgress(commandLine);
}
