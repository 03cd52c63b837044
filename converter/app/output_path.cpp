#include "converter/app/output_path.h"

#include <sys/stat.h>

#include "platform/file.h"

namespace vidorra {

std::string AviNameFor(std::string_view source) {
    const size_t slash = source.rfind('/');
    std::string_view name = slash == std::string_view::npos ? source : source.substr(slash);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    std::string result(name);
    result += ".avi";
    return result;
}

std::string TargetPathInDirectory(std::string_view directory, std::string_view source) {
    std::string name = AviNameFor(source);
    if (directory.empty()) return name;
    std::string result(directory);
    const bool directoryEndsInSlash = result.back() == '/';
    const bool nameStartsWithSlash = name.front() == '/';
    // The name carries its separator only when the source had a directory;
    // a relative source still needs one, and a directory given with a
    // trailing slash must not double it.
    if (directoryEndsInSlash && nameStartsWithSlash) {
        result.pop_back();
    } else if (!directoryEndsInSlash && !nameStartsWithSlash) {
        result += '/';
    }
    result += name;
    return result;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TargetResolution ResolveBatchTarget(const std::string& source, const std::optional<std::string>& output) {
    TargetResolution result;
    if (!output) {
        const size_t slash = source.rfind('/');
        const std::string_view directory =
            slash == std::string::npos ? std::string_view() : std::string_view(source).substr(0, slash);
        result.path = TargetPathInDirectory(directory, source);
    } else {
        std::string out = *output;
        // "/out/" means the directory "/out"; keep a lone "/".
        while (out.size() > 1 && out.back() == '/') out.pop_back();

        if (qor::IsDirectory(out)) {
            result.path = TargetPathInDirectory(out, source);
        } else if (qor::PathExists(out)) {
            result.path = out;
        } else {
            const size_t slash = out.rfind('/');
            // A bare name lives in the working directory, "/name" in the root.
            const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : out.substr(0, slash);
            const std::string_view last =
                slash == std::string::npos ? std::string_view(out) : std::string_view(out).substr(slash);
            if (!qor::IsDirectory(parent)) {
                result.status = TargetStatus::OutputPathError;
                return result;
            }
            if (last.find('.') == std::string_view::npos) {
                if (!qor::CreateDirectory(out)) {
                    result.status = TargetStatus::CreateDirectoryError;
                    return result;
                }
                result.createdDirectory = true;
                result.path = TargetPathInDirectory(out, source);
            } else {
                result.path = out;
            }
        }
    }
    if (IsSameFile(result.path, source)) {
        result.status = TargetStatus::OutputPathError;
        result.path.clear();
    }
    return result;
}

}  // namespace vidorra
