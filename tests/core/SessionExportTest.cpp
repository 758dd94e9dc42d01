#include "core/SessionExport.h"

#include "SessionExamples.h"
#include "core/SessionCoding.h"

#include <gtest/gtest.h>

using namespace ambrel::core;

TEST(ExportFormat, NamesAreTheFileExtensions) {
    const std::vector<std::pair<ExportFormat, std::string_view>> names = {
        {ExportFormat::srt, "srt"},
        {ExportFormat::webVtt, "vtt"},
        {ExportFormat::plainText, "txt"},
        {ExportFormat::markdown, "md"},
        {ExportFormat::json, "json"}};
    for (const auto& [format, name] : names) {
        EXPECT_EQ(fileExtension(format), name);
        EXPECT_EQ(exportFormatFromName(name), format) << name;
    }
    EXPECT_EQ(exportFormatFromName("VTT"), ExportFormat::webVtt);
    EXPECT_EQ(exportFormatFromName("Json"), ExportFormat::json);
    for (const auto* other : {"", ".srt", "srt ", "webvtt", "text", "markdown", "m", "jso"}) {
        EXPECT_EQ(exportFormatFromName(other), std::nullopt) << other;
    }
}

TEST(SessionExport, RendersEveryFormat) {
    const auto record =
        ambrel::testing::makeRecord("2025-03-14 09-05-00", ambrel::testing::march14, 3);
    const auto& labels = TranscriptLabels::english();
    PlainTextOptions options;
    options.times = false;
    const auto utc = TimeZone::utc();
    auto render = [&](ExportFormat format) {
        return SessionExport::render(record, format, labels, options, utc);
    };
    EXPECT_EQ(render(ExportFormat::srt).substr(0, 32), "1\n00:00:00,000 --> 00:00:02,000\n");
    EXPECT_EQ(render(ExportFormat::webVtt).substr(0, 38),
              "WEBVTT\n\n00:00:00.000 --> 00:00:02.000\n");
    EXPECT_EQ(render(ExportFormat::plainText).substr(0, 38),
              "Me: Line 1 of the session, with a few ");
    EXPECT_EQ(render(ExportFormat::markdown).substr(0, 39),
              "# Transcription \u00B7 2025-03-14 08:05:00\n");
    EXPECT_EQ(SessionCoding::decode(render(ExportFormat::json)), record);
}
