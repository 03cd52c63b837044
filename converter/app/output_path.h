// Where a conversion writes its AVI file: the name derived from the source,
// and the batch rules for an output that names a directory, a new directory
// or a file.
//
// Threading: no state; ResolveBatchTarget looks at and may create directories.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vidorra {

// The source's file-name part with its separator ("/a.mpg" of "/rec/a.mpg"),
// cut at its last '.', with ".avi" appended: "/a.avi". A name without '.'
// gets ".avi" appended whole.
std::string AviNameFor(std::string_view source);

// The AVI path for source inside directory: "/out" and "/rec/a.b.mpg" give
// "/out/a.b.avi". An empty directory gives the name alone (relative).
std::string TargetPathInDirectory(std::string_view directory, std::string_view source);

enum class TargetStatus {
    Ok,
    OutputPathError,       // parent of a new output missing, or the target is the source
    CreateDirectoryError,  // the new output directory could not be made
};

struct TargetResolution {
    TargetStatus status = TargetStatus::Ok;
    std::string path;                // the AVI file to write when Ok
    bool createdDirectory = false;   // a new output directory was made
};

// The batch rules: no output, the AVI goes next to the source; an existing
// directory receives it; an existing file is written over; a new path whose
// parent exists becomes a directory (last part without '.') or the file
// name (last part with '.'). The source must exist. A target that is the
// source itself is refused, so the recording is never overwritten.
TargetResolution ResolveBatchTarget(const std::string& source, const std::optional<std::string>& output);

// True when both paths exist and name the same file.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace vidorra
