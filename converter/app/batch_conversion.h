// Batch conversion without a window: one source named on the command line,
// then every line of a list file, one conversion after another on the
// calling thread. Failures are debug lines; the tally decides the exit status.
//
// Threading: runs on the caller's thread; the runner is called there too.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "converter/app/command_line.h"
#include "converter/job/conversion_settings.h"

namespace vidorra {

// Exit status of the program.
constexpr int kExitAllSucceeded = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitNothingUsable = 2;  // nothing named, no named source found, or the list unreadable

// Converts source into target with the settings; true when the AVI file was
// written completely. The conversion job plugs in here.
using ConversionRunner =
    std::function<bool(const std::string& source, const std::string& target, const ConversionSettings& settings)>;

struct BatchTally {
    int named = 0;       // entries that named a source
    int usable = 0;      // of those, sources that exist
    int succeeded = 0;
    int failed = 0;      // named entries that did not succeed
    int listsUnreadable = 0;
};

// One conversion: checks the source, resolves the target (creating a new
// output directory when the rules ask for one) and runs the runner. quality
// outside 0 to 4 means 2; fourth is accepted and not used.
bool VidorraConvertCmdLine(const std::optional<std::string>& source, const std::optional<std::string>& output,
                           int quality, int fourth, const ConversionRunner& runner, BatchTally* tally = nullptr);

// Every line of the list through VidorraConvertCmdLine, whatever the result
// of each. False only when the list cannot be opened.
bool VidorraConvertIniFile(const std::string& listPath, const ConversionRunner& runner, BatchTally* tally = nullptr);

// The batch of a parsed command line: the ":i" conversion first, then the list.
BatchTally RunBatch(const CommandLine& commandLine, const ConversionRunner& runner);

int ExitStatusFor(const BatchTally& tally);

// How many conversions RunBatch will attempt: the ":i" source and every list
// line that names a source (for "file n of m").
int CountNamedConversions(const CommandLine& commandLine);

}  // namespace vidorra
