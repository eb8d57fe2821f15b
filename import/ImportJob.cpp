#include "import/ImportJob.h"

TImportJob& ImportJob() {
    static TImportJob job;
    return job;
}

std::optional<THistoryKey> ListedKey(const std::string& source) {
    const TImportJob& job = ImportJob();
    const auto size = job.SourceSizes.find(source);
    const auto written = job.SourceWriteTimes.find(source);
    if (size == job.SourceSizes.end() || written == job.SourceWriteTimes.end()) return std::nullopt;
    return THistoryKey{source, size->second, written->second};
}
