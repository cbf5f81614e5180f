#include "probe/ReportReading.h"

#include "common/NumberText.h"

#include <QStringList>
#include <cmath>
#include <utility>

namespace probe {

namespace {

const QString kVideo = QStringLiteral("Video");

const ReportSection* firstSection(const std::vector<ReportSection>& sections, const QString& kind) {
    for (const auto& s : sections)
        if (s.IsKind(kind)) return &s;
    return nullptr;
}

QString withoutBlanks(QString text) {
    text.remove(' ');
    text.remove('\t');
    return text;
}

}  // namespace

std::optional<QString> ReportSection::Value(const QString& label) const {
    for (const auto& line : lines)
        if (line.label == label) return line.value;
    return std::nullopt;
}

bool ReportSection::IsKind(const QString& kind) const {
    return heading == kind || heading.startsWith(kind + " #");
}

std::vector<ReportSection> ParseReport(const QString& report) {
    std::vector<ReportSection> sections;
    bool afterBlank = true;
    for (QString line : report.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty()) {
            afterBlank = true;
            continue;
        }
        const bool heading = afterBlank && !line.contains(':');
        afterBlank = false;
        if (heading) {
            sections.push_back({line.trimmed(), {}});
            continue;
        }
        // Labels are padded to a column and followed by " : "; chapter labels
        // of a menu are time codes, so the padded colon is looked for first.
        int colon = line.indexOf(QLatin1String(" : "));
        int valueStart = colon + 3;
        if (colon < 0) {
            colon = line.indexOf(':');
            valueStart = colon + 1;
        }
        if (colon < 0) continue;  // the rest of a value that ran over lines
        if (sections.empty()) sections.push_back({});
        sections.back().lines.push_back({line.left(colon).trimmed(), line.mid(valueStart).trimmed()});
    }
    return sections;
}

bool TurnedSideways(const QString& rotation) {
    const double degrees = std::fmod(std::fabs(num::LeadingNumber(withoutBlanks(rotation))), 180.0);
    return std::fabs(degrees - 90.0) < 0.5;
}

VideoSize ReadVideoSize(const QString& report) {
    const auto sections = ParseReport(report);
    const ReportSection* video = firstSection(sections, kVideo);
    if (!video) return {};
    VideoSize size;
    if (const auto w = video->Value("Width")) size.width = num::Text(num::LeadingNumber(*w));
    if (const auto h = video->Value("Height")) size.height = num::Text(num::LeadingNumber(*h));
    // Players turn the picture before showing it: a portrait phone video is
    // stored wide with a quarter turn.
    if (TurnedSideways(video->Value("Rotation").value_or(QString()))) std::swap(size.width, size.height);
    return size;
}

std::optional<int> ReadFrameRate(const QString& report) {
    const auto sections = ParseReport(report);
    const ReportSection* video = firstSection(sections, kVideo);
    if (!video) return std::nullopt;
    return num::ToInt16(num::LeadingNumber(video->Value("Frame rate").value_or(QString())));
}

std::optional<long> ReadBitRate(const QString& report) {
    const auto sections = ParseReport(report);
    const ReportSection* video = firstSection(sections, kVideo);
    if (!video) return std::nullopt;
    return BitRateKbps(video->Value("Bit rate").value_or(QString()));
}

std::optional<long> BitRateKbps(const QString& value) {
    const QString text = withoutBlanks(value).toLower();
    const double number = num::LeadingNumber(text);
    int i = 0;
    while (i < text.size() && (text[i].isDigit() || text[i] == '.' || text[i] == '+' || text[i] == '-')) ++i;
    const QString unit = text.mid(i);
    auto is = [&](const char* perSecond, const char* ps) { return unit.startsWith(perSecond) || unit.startsWith(ps); };
    double kbps = number;
    if (is("mb/s", "mbps")) kbps = number * 1e3;
    else if (is("gb/s", "gbps")) kbps = number * 1e6;
    else if (is("b/s", "bps")) kbps = number / 1e3;
    const auto whole = num::ToInt32(kbps);
    if (!whole) return std::nullopt;
    return static_cast<long>(*whole);
}

double ReadDuration(const QString& completeReport) {
    for (const auto& section : ParseReport(completeReport))
        for (const auto& line : section.lines)
            if (line.label == "Duration")
                if (const auto seconds = TimeCodeSeconds(line.value)) return *seconds;
    return 0;
}

std::optional<double> TimeCodeSeconds(const QString& value) {
    const QStringList parts = value.split(':');
    if (parts.size() < 3) return std::nullopt;
    const auto hours = num::WholeTextNumber(parts[0]);
    const auto minutes = num::WholeTextNumber(parts[1]);
    const QString rest = parts[2].trimmed();
    if (!hours || !minutes || rest.isEmpty() || !(rest[0].isDigit() || rest[0] == '.')) return std::nullopt;
    const double seconds = *hours * 3600 + *minutes * 60 + num::LeadingNumber(rest);
    if (!std::isfinite(seconds)) return std::nullopt;
    return seconds;
}

}  // namespace probe
