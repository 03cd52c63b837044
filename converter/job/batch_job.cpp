#include "converter/job/conversion_job.h"

namespace vidorra {

bool ConvertRecording(const std::string& source, const std::string& target, const ConversionSettings& settings,
                      std::function<void(int32_t producedFrames, int32_t totalFrames)> progress) {
    JobFrontEnd batch;
    batch.progress = std::move(progress);
    ConversionJob job(LibraryPlayerInterface(), settings, std::move(batch));
    return job.Run(source, target).outcome == JobOutcome::Succeeded;
}

}  // namespace vidorra
