#include "converter/app/batch_conversion.h"

#include "converter/app/list_file.h"
#include "converter/app/output_path.h"
#include "platform/debug_output.h"
#include "platform/file.h"

namespace vidorra {

bool VidorraConvertCmdLine(const std::optional<std::string>& source, const std::optional<std::string>& output,
                           int quality, [[maybe_unused]] int fourth, const ConversionRunner& runner,
                           BatchTally* tally) {
    BatchTally ignored;
    BatchTally& counts = tally != nullptr ? *tally : ignored;
    if (!source || source->empty()) {
        qor::DebugOutput("[AAA]VidorraConvertCmdLine() NULL pSrcFile error.\n");
        return false;
    }
    ++counts.named;
    const ConversionSettings settings = ConversionSettings::ForQualityLevel(quality);

    // A directory is no recording; refusing it here keeps the tally honest.
    if (!qor::PathExists(*source) || qor::IsDirectory(*source)) {
        qor::DebugOutput("[AAA]VidorraConvertCmdLine() input file path error.\n");
        ++counts.failed;
        return false;
    }
    ++counts.usable;

    const TargetResolution target = ResolveBatchTarget(*source, output);
    switch (target.status) {
        case TargetStatus::Ok:
            break;
        case TargetStatus::OutputPathError:
            qor::DebugOutput("[AAA]VidorraConvertCmdLine() output path error.\n");
            ++counts.failed;
            return false;
        case TargetStatus::CreateDirectoryError:
            qor::DebugOutput("[AAA]VidorraConvertCmdLine() call CreateDirectory() error.\n");
            ++counts.failed;
            return false;
    }

    const bool converted = runner && runner(*source, target.path, settings);
    ++(converted ? counts.succeeded : counts.failed);
    return converted;
}

bool VidorraConvertIniFile(const std::string& listPath, const ConversionRunner& runner, BatchTally* tally) {
    const std::optional<std::vector<ListEntry>> entries = ReadListFile(listPath);
    if (!entries) {
        qor::DebugOutput("[QOR] VidorraConvertIniFile() call fopen error.\n");
        if (tally != nullptr) ++tally->listsUnreadable;
        return false;
    }
    for (const ListEntry& entry : *entries) {
        VidorraConvertCmdLine(entry.source, entry.output, entry.quality, entry.fourth, runner, tally);
    }
    return true;
}

BatchTally RunBatch(const CommandLine& commandLine, const ConversionRunner& runner) {
    BatchTally tally;
    if (commandLine.source) {
        VidorraConvertCmdLine(commandLine.source, commandLine.output, commandLine.quality, commandLine.fourth, runner,
                              &tally);
    }
    if (commandLine.listFile) VidorraConvertIniFile(*commandLine.listFile, runner, &tally);
    return tally;
}

int CountNamedConversions(const CommandLine& commandLine) {
    int count = commandLine.source ? 1 : 0;
    if (commandLine.listFile) {
        if (const auto entries = ReadListFile(*commandLine.listFile)) {
            for (const ListEntry& entry : *entries) count += entry.source ? 1 : 0;
        }
    }
    return count;
}

int ExitStatusFor(const BatchTally& tally) {
    if (tally.usable == 0) return kExitNothingUsable;
    if (tally.failed > 0 || tally.listsUnreadable > 0) return kExitSomeFailed;
    return kExitAllSucceeded;
}

}  // namespace vidorra
