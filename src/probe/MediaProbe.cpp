#include "probe/MediaProbe.h"

namespace probe {

std::optional<long> GetVideoSizeAndBitrate(const QString&, QString&, QString&) { return std::nullopt; }
std::optional<long> GetVideoFrameRateAndBitrate(const QString&, int&) { return std::nullopt; }
double GetMediaDuration(const QString&) { return 0; }

}  // namespace probe
